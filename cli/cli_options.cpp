// Reading a quaylet-cli command line.
#include "cli/cli_options.h"

#include <array>
#include <utility>

#include "cli/printable_text.h"

namespace quaylet {
namespace {

struct CommandForm {
    CliCommand command;
    std::string_view name;
    bool everything;  ///< Takes --everything.
    bool json;        ///< Takes --json.
    bool mountInfo;   ///< Takes --mountinfo.
    bool interactive; ///< Takes --interactive.
    bool powerOff;    ///< Takes --power-off.
};

constexpr std::array<CommandForm, 3> kCommands{{
    {CliCommand::Status, "status", true, true, true, false, false},
    {CliCommand::Unplug, "unplug", true, true, true, true, true},
    {CliCommand::Monitor, "monitor", false, false, false, false, false},
}};

const CommandForm* findCommand(std::string_view name) {
    for (const CommandForm& form : kCommands) {
        if (form.name == name) {
            return &form;
        }
    }
    return nullptr;
}

const CommandForm* formOf(CliCommand command) {
    for (const CommandForm& form : kCommands) {
        if (form.command == command) {
            return &form;
        }
    }
    return nullptr;
}

std::string helpHint(CliCommand command) {
    const std::string name(commandName(command));
    return "Run 'quaylet-cli " + (name.empty() ? "" : name + " ") + "--help' for its usage.";
}

/// Reads the command line one argument at a time; the first problem met ends the reading.
class Reader {
public:
    explicit Reader(const std::vector<std::string>& arguments) : arguments_(arguments) {}

    CliParse read() {
        std::vector<std::string> flags;
        for (index_ = 0; index_ < arguments_.size() && error_.empty(); ++index_) {
            const std::string& argument = arguments_[index_];
            if (argument.starts_with("-") && argument != "-") {
                readOption(argument, flags);
            } else if (options_.command == CliCommand::None) {
                readCommand(argument);
            } else {
                error_ = "unexpected argument '" + printablePath(argument) + "'. " +
                         helpHint(options_.command);
            }
        }
        if (error_.empty() && !options_.help && !options_.version) {
            checkCombination(flags);
        }
        if (!error_.empty()) {
            return CliParse{std::nullopt, std::move(error_)};
        }
        return CliParse{options_, {}};
    }

private:
    void readCommand(const std::string& name) {
        if (const CommandForm* form = findCommand(name)) {
            options_.command = form->command;
        } else {
            error_ = "unknown command '" + printablePath(name) +
                     "'; the commands are status, unplug and monitor. " + helpHint({});
        }
    }

    void readOption(const std::string& argument, std::vector<std::string>& flags) {
        const std::size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        if (bool* flag = flagNamed(name)) {
            if (equals != std::string::npos) {
                error_ = "option " + name + " takes no value. " + helpHint(options_.command);
                return;
            }
            *flag = true;
            flags.push_back(name == "-h" ? "--help" : name);
        } else if (std::string* value = valueNamed(name)) {
            readValue(name,
                      equals == std::string::npos ? std::nullopt
                                                  : std::optional(argument.substr(equals + 1)),
                      *value);
            flags.push_back(name);
        } else {
            error_ = "unknown option '" + printablePath(name) + "'. " + helpHint(options_.command);
        }
    }

    bool* flagNamed(const std::string& name) {
        if (name == "--help" || name == "-h") {
            return &options_.help;
        }
        if (name == "--version") {
            return &options_.version;
        }
        if (name == "--everything") {
            return &options_.everything;
        }
        if (name == "--interactive") {
            return &options_.interactive;
        }
        if (name == "--quit-holders") {
            return &options_.quitHolders;
        }
        if (name == "--yes") {
            return &options_.yes;
        }
        if (name == "--holders") {
            return &options_.holders;
        }
        if (name == "--power-off") {
            return &options_.powerOff;
        }
        return name == "--json" ? &options_.json : nullptr;
    }

    std::string* valueNamed(const std::string& name) {
        if (name == "--sysfs") {
            return &options_.sysfsRoot;
        }
        if (name == "--snapshot") {
            return &options_.snapshotPath;
        }
        return name == "--mountinfo" ? &options_.mountInfoPath : nullptr;
    }

    void readValue(const std::string& name, std::optional<std::string> given, std::string& value) {
        if (given) {
            value = std::move(*given);
        } else if (index_ + 1 < arguments_.size()) {
            value = arguments_[++index_];
        }
        if (value.empty()) {
            const char* what = name == "--sysfs" ? "DIR" : "FILE";
            error_ = "option " + name + " needs a " + what + ", as in " + name + " " + what + ". " +
                     helpHint(options_.command);
        }
    }

    void checkCombination(const std::vector<std::string>& flags) {
        const CommandForm* form = formOf(options_.command);
        if (form == nullptr) {
            error_ =
                "no command given; the commands are status, unplug and monitor. " + helpHint({});
            return;
        }
        for (const std::string& flag : flags) {
            const bool allowed = (flag == "--everything" && form->everything) ||
                                 (flag == "--json" && form->json) ||
                                 (flag == "--mountinfo" && form->mountInfo) ||
                                 (flag == "--interactive" && form->interactive) ||
                                 ((flag == "--quit-holders" || flag == "--yes") &&
                                  form->command == CliCommand::Unplug) ||
                                 (flag == "--holders" && form->command == CliCommand::Status) ||
                                 (flag == "--power-off" && form->powerOff) || flag == "--help" ||
                                 flag == "--sysfs" || flag == "--snapshot";
            if (!allowed) {
                error_ = "the " + std::string(form->name) + " command does not take " + flag +
                         ". " + helpHint(options_.command);
                return;
            }
        }
        if (options_.yes && !options_.quitHolders) {
            error_ = "--yes answers the question of --quit-holders; use it with --quit-holders.";
            return;
        }
        if (options_.quitHolders &&
            (!options_.snapshotPath.empty() || !options_.mountInfoPath.empty())) {
            error_ = "--quit-holders ends processes of this system; use it without --snapshot "
                     "and --mountinfo.";
            return;
        }
        if (!options_.snapshotPath.empty() &&
            (!options_.sysfsRoot.empty() || !options_.mountInfoPath.empty())) {
            error_ = "--snapshot brings its own device tree and mount table; use it without "
                     "--sysfs and --mountinfo.";
        }
        if (options_.holders && !options_.mountInfoPath.empty()) {
            error_ = "--holders looks at this system's processes and mounts; use it without "
                     "--mountinfo.";
        }
    }

    const std::vector<std::string>& arguments_;
    std::size_t index_ = 0;
    CliOptions options_;
    std::string error_;
};

} // namespace

CliParse parseCliOptions(const std::vector<std::string>& arguments) {
    return Reader(arguments).read();
}

std::string_view commandName(CliCommand command) {
    const CommandForm* form = formOf(command);
    return form == nullptr ? std::string_view() : form->name;
}

} // namespace quaylet
