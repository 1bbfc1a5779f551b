// One unplug command's steps and the outcome each of them can end in.
#include "eject/unplug_flow.h"

#include <utility>
#include <vector>

#include "eject/busy_process_finder.h"
#include "eject/unmount_worker.h"
#include "volumes/scan_volumes.h"

namespace quaylet {
namespace {

UnplugOutcome unsafeNaming(std::string name, std::string textKey) {
    UnplugOutcome outcome;
    outcome.volumeName = std::move(name);
    outcome.textKey = std::move(textKey);
    outcome.textValues = {outcome.volumeName};
    return outcome;
}

UnplugOutcome unreadableOutcome() {
    UnplugOutcome outcome;
    outcome.unreadable = true;
    outcome.textKey = "UNREADABLE_MOUNT_TABLE";
    return outcome;
}

UnplugOutcome bootVolumeOutcome(const UnplugPlan& plan) {
    std::vector<UnmountFailure> failures;
    if (plan.copyFailures(failures) < 1) {
        return {}; // refused all the same, with nothing to name
    }
    return unsafeNaming(failures.front().displayName, "BUSY_BOOT_VOLUME");
}

/// Safe when the gate read everything and found nothing; else names the first hold the way a
/// volume that stayed mounted is named.
UnplugOutcome releaseOutcome(const ReleaseCheck& check) {
    if (!check.complete) {
        return unreadableOutcome();
    }
    if (check.holds.empty()) {
        UnplugOutcome safe;
        safe.safe = true;
        return safe;
    }
    const RemainingHold& hold = check.holds.front();
    switch (hold.kind) {
    case RemainingHold::Kind::Swap:
        return unsafeNaming("swap on " + hold.path, "BUSY_VOLUME");
    case RemainingHold::Kind::AttachedImage:
        return unsafeNaming(hold.path, "BUSY_VOLUME");
    case RemainingHold::Kind::MountedVolume:
        break;
    }
    return unsafeNaming(hold.name, "BUSY_VOLUME");
}

} // namespace

UnplugStart beginUnplug(Platform& platform, bool everything, const ReleaseGate& gate) {
    // The scan sees the table that was judged readable, and reads it no second time.
    const MountTableCopy mounts(platform.mountTable->entries());
    if (mounts.empty()) {
        // An unreadable table would read as nothing to unmount: safe, which it may not be.
        return {unreadableOutcome(), nullptr};
    }
    auto plan = std::make_unique<UnplugPlan>();
    bool bootVolumeFound = false;
    const std::int32_t count = scanVolumes(
        ScanSources{*platform.registry, mounts, *platform.fileManager, *platform.deviceNaming},
        *plan, everything, bootVolumeFound);
    if (bootVolumeFound) {
        return {bootVolumeOutcome(*plan), nullptr};
    }
    if (count < 1) {
        return {releaseOutcome(gate(platform, everything)), nullptr};
    }
    return {std::nullopt, std::move(plan)};
}

UnplugOutcome unmountPlanned(Platform& platform, UnplugPlan& plan, bool everything,
                             const UnmountReports& reports, const ReleaseGate& gate) {
    unmountAll(plan, UnmountTools{*platform.processRunner, platform.toolCommands,
                                  *platform.mountPointProbe, reports.volumeDone,
                                  platform.volumeFlush.get(), platform.writebackGauge.get(),
                                  reports.writing});
    std::vector<UnmountFailure> failures;
    if (plan.copyFailures(failures) < 1) {
        return releaseOutcome(gate(platform, everything));
    }
    // Named by the first volume that stayed mounted, with why: a volume the user may not
    // unmount is not in use, and the advice differs.
    const UnmountFailure& first = failures.front();
    UnplugOutcome outcome = unsafeNaming(
        first.displayName, first.cause == UnmountCause::notAllowed ? "NOT_ALLOWED_VOLUME"
                           : first.cause == UnmountCause::failed   ? "UNMOUNT_FAILED_VOLUME"
                                                                   : "BUSY_VOLUME");
    outcome.notAllowed = first.cause == UnmountCause::notAllowed;
    outcome.failures = std::move(failures);
    return outcome;
}

void nameBusyProcess(Platform& platform, UnplugOutcome& outcome) {
    if (outcome.failures.empty() || outcome.textKey != "BUSY_VOLUME") {
        return; // only a volume in use has a process to name
    }
    BusyProcessFinder finder(
        ProcessTools{*platform.processRunner, platform.toolCommands, *platform.applicationLookup});
    finder.addFailedVolumes(outcome.failures);
    finder.findBusyProcesses();
    std::vector<BusyProcess> processes;
    if (finder.copyBusyProcesses(processes) == 0) {
        // Without root the tool sees only the user's own processes: none of them holds it.
        if (!platform.seesEveryProcess) {
            outcome.textKey = "BUSY_VOLUME_OTHER_USER";
        }
        return;
    }
    outcome.processName = processes.front().name;
    if (!outcome.processName->empty()) {
        outcome.textKey = "BUSY_VOLUME_WITH";
        outcome.textValues = {outcome.volumeName, *outcome.processName};
    }
}

} // namespace quaylet
