// quaylet-cli: reads the command line, selects the platform and runs one command.
#include "cli/quaylet_cli.h"

#include <iostream>

#include <unistd.h>

#include "cli/cli_options.h"
#include "cli/cli_usage.h"
#include "cli/monitor_command.h"
#include "cli/printable_text.h"
#include "cli/signal_pipe.h"
#include "cli/status_json.h"
#include "cli/status_report.h"
#include "cli/status_text.h"
#include "cli/unplug_command.h"
#include "platform/linux/message_catalog.h"
#include "platform/platform_selection.h"
#include "platform/program_version.h"

namespace quaylet {
namespace {

int runStatus(Platform& platform, const CliOptions& options, std::ostream& out,
              std::ostream& errors) {
    // One read of the table serves the whole scan.
    const MountTableCopy mounts(platform.mountTable->entries());
    if (mounts.empty()) {
        errors << "quaylet-cli: " << localizedStrings().text("UNREADABLE_MOUNT_TABLE") << std::endl;
        return kExitUsage;
    }
    StatusReport report = buildStatusReport(platform, mounts, options.everything);
    if (options.holders) {
        addHolders(platform, report);
    }
    out << (options.json ? statusJson(report) : statusText(report, localizedStrings()));
    return kExitSafe;
}

int runUnplug(Platform& platform, const CliOptions& options, std::ostream& out,
              std::ostream& errors) {
    UnplugCommandOptions unplug;
    unplug.everything = options.everything;
    if (options.interactive) {
        platform.toolCommands.allowInteraction();
    } else {
        unplug.interactionHint = "quaylet-cli: to be asked for a password where one is needed, "
                                 "run 'quaylet-cli unplug --interactive'.";
    }
    unplug.json = options.json;
    unplug.quitHolders = options.quitHolders;
    unplug.quitDialog.assumeYes = options.yes;
    // Questions go to standard error and are answered on standard input, when that is a terminal.
    unplug.quitDialog.answers = ::isatty(STDIN_FILENO) != 0 ? &std::cin : nullptr;
    unplug.progressInPlace = &errors == &std::cerr && ::isatty(STDERR_FILENO) == 1;
    unplug.powerOff = options.powerOff;
    if (!options.mountInfoPath.empty()) {
        unplug.unmountForbidden = "the mount table comes from " +
                                  printablePath(options.mountInfoPath) +
                                  ", not from this system. Run without --mountinfo to unplug.";
    }
    return runUnplugCommand(platform, unplug, localizedStrings(), out, errors);
}

int runMonitor(Platform& platform, std::ostream& out, std::ostream& errors) {
    SignalPipe stop;
    if (stop.descriptor() < 0) {
        errors << "quaylet-cli: cannot take over SIGINT and SIGTERM to stop cleanly." << std::endl;
        return kExitUsage;
    }
    MonitorCommand monitor(platform, out);
    monitor.start();
    if (const std::error_code failure = monitor.watchFailure()) {
        errors << "quaylet-cli: cannot watch for docks arriving or leaving: " << failure.message()
               << "." << std::endl;
        return kExitUsage;
    }
    while (monitor.waitAndDispatch(stop.descriptor())) {
    }
    return kExitSafe;
}

/// Builds the platform `options` ask for; nullopt with `error` saying what could not be read and
/// what to do. A mount table that reads empty cannot be read: it would read as nothing to
/// unmount, which is not known to be safe.
std::optional<Platform> selectCliPlatform(const CliOptions& options, std::string& error) {
    PlatformSelectionError failure;
    // Only the monitor waits for mount changes; the other commands run once.
    std::optional<Platform> platform = selectPlatform(
        PlatformChoice{options.snapshotPath, options.sysfsRoot, options.mountInfoPath,
                       options.command == CliCommand::Monitor},
        failure);
    if (!platform) {
        switch (failure.source) {
        case PlatformSelectionError::Source::Snapshot:
            error = "cannot use the snapshot: " +
                    (failure.code ? printablePath(failure.path) + ": cannot read the snapshot file"
                                  : printableText(failure.problem)) +
                    ". Give a machine snapshot file (see platform/memory/SNAPSHOT.md).";
            break;
        case PlatformSelectionError::Source::DeviceTree:
            error = "cannot read the device tree at " + printablePath(failure.path) + ": " +
                    printablePath(failure.unlisted) + ": " + failure.code.message() +
                    ". Give the root of a sysfs tree with --sysfs DIR (the default is /sys).";
            break;
        case PlatformSelectionError::Source::MountWatch:
            error = "cannot watch the mount table: " + failure.code.message() + ".";
            break;
        case PlatformSelectionError::Source::RecordedMountTable:
            error = "cannot read a mount table from " + printablePath(failure.path) +
                    ". Give a file in the format of /proc/self/mountinfo.";
            break;
        }
        return std::nullopt;
    }
    // A status or an unplug judges the table on the one read its scan makes.
    if (options.command == CliCommand::Monitor && options.mountInfoPath.empty() &&
        platform->mountTable->entries().empty()) {
        error = localizedStrings().text("UNREADABLE_MOUNT_TABLE");
        return std::nullopt;
    }
    return platform;
}

} // namespace

int runQuayletCli(const std::vector<std::string>& arguments, std::ostream& out,
                  std::ostream& errors) {
    const CliParse parse = parseCliOptions(arguments);
    if (!parse.options) {
        errors << "quaylet-cli: " << parse.error << std::endl;
        return kExitUsage;
    }
    const CliOptions& options = *parse.options;
    if (options.version) {
        out << "quaylet-cli " << programVersion() << "\n";
        return kExitSafe;
    }
    if (options.help) {
        out << usageText(options.command);
        return kExitSafe;
    }
    std::string error;
    std::optional<Platform> platform = selectCliPlatform(options, error);
    if (!platform) {
        errors << "quaylet-cli: " << error << std::endl;
        return kExitUsage;
    }
    switch (options.command) {
    case CliCommand::Status:
        return runStatus(*platform, options, out, errors);
    case CliCommand::Unplug:
        return runUnplug(*platform, options, out, errors);
    case CliCommand::Monitor:
        return runMonitor(*platform, out, errors);
    case CliCommand::None:
        break;
    }
    errors << usageText(CliCommand::None);
    return kExitUsage;
}

} // namespace quaylet
