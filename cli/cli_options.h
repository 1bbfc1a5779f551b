// CliOptions: what a quaylet-cli command line asks for, and how it is read.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quaylet {

/// The commands of quaylet-cli.
enum class CliCommand { None, Status, Unplug, Monitor };

/// Exit statuses of quaylet-cli.
inline constexpr int kExitSafe = 0;   ///< The dock may be unplugged (or the command succeeded).
inline constexpr int kExitUnsafe = 1; ///< The dock may not be unplugged.
inline constexpr int kExitUsage = 2;  ///< Bad usage, or the system could not be read.

/// One command line, read.
struct CliOptions {
    CliCommand command = CliCommand::None;
    bool help = false;         ///< --help: print the command's usage and do nothing else.
    bool version = false;      ///< --version: print the program's version and do nothing else.
    bool everything = false;   ///< --everything: all external storage, not only the dock's.
    bool json = false;         ///< --json: the status or outcome as a JSON document.
    bool interactive = false;  ///< --interactive: unplug may have polkit ask for a password.
    bool quitHolders = false;  ///< --quit-holders: unplug quits what keeps volumes busy.
    bool yes = false;          ///< --yes: --quit-holders quits without asking first.
    bool holders = false;      ///< --holders: status also lists what holds each volume.
    bool powerOff = false;     ///< --power-off: unplug switches off what it unmounted.
    std::string sysfsRoot;     ///< --sysfs DIR; empty for the live /sys.
    std::string snapshotPath;  ///< --snapshot FILE; empty for the live system.
    std::string mountInfoPath; ///< --mountinfo FILE; empty for this process's mount table.
};

/// The outcome of reading a command line: the options, or what is wrong with it.
struct CliParse {
    std::optional<CliOptions> options;
    std::string error; ///< Says what is wrong and what to do; empty when `options` is set.
};

/// Reads the arguments that follow the program name. Options may stand before or after the
/// command; a value follows its option as the next argument or after "=".
CliParse parseCliOptions(const std::vector<std::string>& arguments);

/// Returns the command's name as typed ("status"); "" for None.
std::string_view commandName(CliCommand command);

} // namespace quaylet
