// The unplug command: the tray controller's outcomes, run synchronously for a terminal.
#include "cli/unplug_command.h"

#include <vector>

#include "cli/cli_options.h"
#include "cli/printable_text.h"
#include "cli/unplug_notification.h"
#include "eject/busy_process_finder.h"
#include "eject/unmount_worker.h"
#include "volumes/scan_volumes.h"

namespace quaylet {
namespace {

int refuseBootVolume(const UnplugPlan& plan, const StringTable& strings, std::ostream& out) {
    std::vector<UnmountFailure> failures;
    if (plan.copyFailures(failures) > 0) {
        out << notificationLines(
            badEjectNotification(strings, failures.front().displayName, true, std::nullopt));
    } else {
        // A refusal without the boot volume's record names nothing, but is still a refusal.
        out << notificationLines(UnplugNotification{
            strings.text("THUNDERBOLT_DOCK"), strings.text("UNSAFE_TO_UNPLUG_DOCK"), std::nullopt});
    }
    return kExitUnsafe;
}

/// Names the first process the open-files tool finds busy on any failed volume.
std::optional<std::string> busyProcessName(Platform& platform,
                                           const std::vector<UnmountFailure>& failures) {
    BusyProcessFinder finder(
        ProcessTools{*platform.processRunner, platform.toolCommands, *platform.applicationLookup});
    finder.addFailedVolumes(failures);
    finder.findBusyProcesses();
    std::vector<BusyProcess> processes;
    finder.copyBusyProcesses(processes);
    if (processes.empty()) {
        return std::nullopt;
    }
    return processes.front().name;
}

int unmountPlan(Platform& platform, UnplugPlan& plan, const StringTable& strings, std::ostream& out,
                std::ostream& errors) {
    const auto progress = [&errors](const VolumeRecord& volume, bool unmounted) {
        errors << (unmounted ? "Unmounted " : "Could not unmount ")
               << printablePath(volume.displayName) << " (" << printablePath(volume.mountPoint)
               << ")" << std::endl;
    };
    unmountAll(plan, UnmountTools{*platform.processRunner, platform.toolCommands,
                                  *platform.mountPointProbe, progress});
    std::vector<UnmountFailure> failures;
    if (plan.copyFailures(failures) < 1) {
        out << notificationLines(goodEjectNotification(strings));
        return kExitSafe;
    }
    const std::optional<std::string> process = busyProcessName(platform, failures);
    out << notificationLines(
        badEjectNotification(strings, failures.front().displayName, false, process));
    return kExitUnsafe;
}

} // namespace

int runUnplugCommand(Platform& platform, const UnplugCommandOptions& options,
                     const StringTable& strings, std::ostream& out, std::ostream& errors) {
    UnplugPlan plan;
    bool bootVolumeFound = false;
    const std::int32_t count =
        scanVolumes(ScanSources{*platform.registry, *platform.mountTable, *platform.fileManager,
                                *platform.deviceNaming},
                    plan, options.everything, bootVolumeFound);
    if (bootVolumeFound) {
        return refuseBootVolume(plan, strings, out);
    }
    if (count < 1) {
        errors << "Nothing to unmount." << std::endl;
        out << notificationLines(goodEjectNotification(strings));
        return kExitSafe;
    }
    if (!options.unmountForbidden.empty()) {
        errors << "quaylet-cli: nothing was unmounted: " << options.unmountForbidden << std::endl;
        return kExitUsage;
    }
    return unmountPlan(platform, plan, strings, out, errors);
}

} // namespace quaylet
