// One unplug command's steps and the outcome each of them can end in.
#include "eject/unplug_flow.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "eject/holder_finder.h"
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

/// The gate's holds as volumes to search: each mounted volume, then each swap area and image
/// as a holder of its own (the search drops those it finds on a volume).
std::vector<VolumeHolders> heldVolumes(const ReleaseCheck& check) {
    std::vector<VolumeHolders> volumes;
    for (const RemainingHold& hold : check.holds) {
        switch (hold.kind) {
        case RemainingHold::Kind::MountedVolume:
            volumes.push_back({hold.name, hold.path, {}});
            break;
        case RemainingHold::Kind::Swap:
            volumes.push_back(
                {hold.name, {}, {storageHolder(Holder::Kind::SwapFile, hold.name, hold.path)}});
            break;
        case RemainingHold::Kind::AttachedImage:
            volumes.push_back({hold.name,
                               {},
                               {storageHolder(Holder::Kind::AttachedImage, hold.name, hold.path)}});
            break;
        }
    }
    return volumes;
}

/// Whether a volume with a mount point lists a holder of `kind` at `path`.
bool foundOnAVolume(const std::vector<VolumeHolders>& volumes, Holder::Kind kind,
                    const std::string& path) {
    return std::ranges::any_of(volumes, [&](const VolumeHolders& volume) {
        return !volume.mountPoint.empty() &&
               std::ranges::any_of(volume.holders, [&](const Holder& holder) {
                   return holder.kind == kind && holder.path == path;
               });
    });
}

/// Takes the plan's latest read of the mount table when the table has not changed since;
/// empty otherwise. Either way the plan keeps neither the read nor its watch.
std::vector<MountEntry> currentMounts(UnplugPlan* plan) {
    if (plan == nullptr) {
        return {};
    }
    std::vector<MountEntry> mounts = std::exchange(plan->latestMounts, {});
    const std::shared_ptr<MountTableChanges> changes =
        std::exchange(plan->latestMountsChanges, nullptr);
    if (changes == nullptr || changes->changedSinceLastAsked()) {
        mounts.clear();
    }
    return mounts;
}

/// Fills the outcome's holders: of each volume that stayed mounted, else of the gate's holds;
/// a swap area or image the gate found alone is dropped when a volume lists it.
void findOutcomeHolders(Platform& platform, UnplugOutcome& outcome, UnplugPlan* plan) {
    if (!outcome.failures.empty()) {
        outcome.holders.clear();
        for (const UnmountFailure& failure : outcome.failures) {
            outcome.holders.push_back({failure.displayName, failure.mountPoint, {}});
        }
    }
    findHolders(platform, outcome.holders, currentMounts(plan));
    const std::vector<VolumeHolders> searched = outcome.holders;
    std::erase_if(outcome.holders, [&](const VolumeHolders& volume) {
        return volume.mountPoint.empty() && volume.holders.size() == 1 &&
               foundOnAVolume(searched, volume.holders.front().kind, volume.holders.front().path);
    });
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
    UnplugOutcome outcome;
    switch (hold.kind) {
    case RemainingHold::Kind::Swap:
        outcome = unsafeNaming("swap on " + hold.path, "BUSY_VOLUME");
        break;
    case RemainingHold::Kind::AttachedImage:
        outcome = unsafeNaming(hold.path, "BUSY_VOLUME");
        break;
    case RemainingHold::Kind::MountedVolume:
        outcome = unsafeNaming(hold.name, "BUSY_VOLUME");
        break;
    }
    outcome.holders = heldVolumes(check);
    return outcome;
}

} // namespace

UnplugStart beginUnplug(Platform& platform, bool everything, const ReleaseGate& gate) {
    // The scan sees the table that was judged readable, and reads it no second time. Watched
    // from before the read, it stays the table's own until the watch tells of a change.
    std::shared_ptr<MountTableChanges> changes = platform.mountPointProbe->watchChanges();
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
        // The gate reads the system's own table, also when the scan's was a recorded one.
        return {releaseOutcome(gate(platform, everything, nullptr)), nullptr};
    }
    // The unmounting takes its first look at the first volume from the table the plan was made
    // from: a volume gone since only costs a tool run, which the next read then judges.
    plan->latestMounts = mounts.entries();
    plan->latestMountsChanges = std::move(changes);
    return {std::nullopt, std::move(plan)};
}

UnplugOutcome unmountPlanned(Platform& platform, UnplugPlan& plan, bool everything,
                             const UnmountReports& reports, const ReleaseGate& gate) {
    // An empty table is one that could not be read: the worker then reads it itself.
    std::vector<MountEntry> scanned = std::exchange(plan.latestMounts, {});
    std::shared_ptr<MountTableChanges> changes = std::exchange(plan.latestMountsChanges, nullptr);
    std::shared_ptr<const MountPointProbe> reading =
        scanned.empty() ? nullptr : platform.mountPointProbe->readingOf(std::move(scanned));
    unmountAll(plan, UnmountTools{*platform.processRunner,
                                  platform.toolCommands,
                                  *platform.mountPointProbe,
                                  reports.volumeDone,
                                  platform.volumeFlush.get(),
                                  platform.writebackGauge.get(),
                                  reports.writing,
                                  {},
                                  &reading,
                                  changes.get()});
    std::vector<UnmountFailure> failures;
    if (plan.copyFailures(failures) < 1) {
        // The read that judged the last volume is the system's table as the unmounting left it
        // (a recorded table is never unmounted from); one that came out empty is read again.
        const std::vector<MountEntry>* last = reading ? reading->keptEntries() : nullptr;
        return releaseOutcome(
            gate(platform, everything, last != nullptr && !last->empty() ? last : nullptr));
    }
    // The read that judged the last volume, for the search of what holds those that stayed.
    if (const std::vector<MountEntry>* last = reading ? reading->keptEntries() : nullptr;
        last != nullptr && changes != nullptr) {
        plan.latestMounts = *last;
        plan.latestMountsChanges = std::move(changes);
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

void nameBusyProcess(Platform& platform, UnplugOutcome& outcome, UnplugPlan* plan) {
    if (outcome.safe || (outcome.failures.empty() && outcome.holders.empty())) {
        return;
    }
    findOutcomeHolders(platform, outcome, plan);
    if (outcome.failures.empty() || outcome.textKey != "BUSY_VOLUME") {
        return; // only a volume in use has a process to name
    }
    // The first volume's own process, else the first found on another still-mounted volume.
    bool heldOtherwise = false;
    for (const VolumeHolders& volume : outcome.holders) {
        for (const Holder& holder : volume.holders) {
            if (holder.kind == Holder::Kind::Process && !outcome.processName) {
                outcome.processName = holder.name;
            }
            heldOtherwise = heldOtherwise || holder.kind != Holder::Kind::Process;
        }
    }
    if (!outcome.processName) {
        // Without root the tool sees only the user's own processes: none of them holds it,
        // unless something that is no process does.
        if (!platform.seesEveryProcess && !heldOtherwise) {
            outcome.textKey = "BUSY_VOLUME_OTHER_USER";
        }
        return;
    }
    if (!outcome.processName->empty()) {
        outcome.textKey = "BUSY_VOLUME_WITH";
        outcome.textValues = {outcome.volumeName, *outcome.processName};
    }
}

} // namespace quaylet
