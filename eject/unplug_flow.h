// The unplug command that both front ends run: the scan and the boot-volume refusal on the
// calling thread, then the unmounting, the release gate and the busy-process search, which
// block and belong on a worker.
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "eject/release_gate.h"
#include "eject/unplug_outcome.h"
#include "eject/writing_watch.h"
#include "platform/platform.h"
#include "volumes/unplug_plan.h"

namespace quaylet {

/// The last check before "safe"; checkRelease outside tests. `mounts`, when given, is a read of
/// the mount table made just before, to judge instead of reading it again.
using ReleaseGate = std::function<ReleaseCheck(Platform& platform, bool everything,
                                               const std::vector<MountEntry>* mounts)>;
/// Hears of each planned volume as soon as it is judged (true: unmounted).
using UnmountProgress = std::function<void(const VolumeRecord& volume, bool unmounted)>;

/// What a front end hears while the planned volumes are unmounted.
struct UnmountReports {
    UnmountProgress volumeDone; ///< Each volume as soon as it is judged.
    /// An unmount still running after about 1.5 s, then about every second until it returns,
    /// with what is left to write; from a thread of its own, and never after `volumeDone` of
    /// that volume.
    WritingReport writing;
};

/// What the first part of a command leaves: the outcome when it ends there, else the plan.
struct UnplugStart {
    std::optional<UnplugOutcome> outcome;
    std::unique_ptr<UnplugPlan> plan; ///< Set, with volumes, when there is something to unmount.
};

/// Reads the mount table once and scans it (with `everything`, all external storage too).
/// Ends the command when the table cannot be read (not safe, unreadable), when the boot volume
/// is behind the dock (not safe, naming it when the scan recorded it; nothing is unmounted), or
/// when nothing is planned (safe unless `gate` finds storage still held). Else returns the plan.
UnplugStart beginUnplug(Platform& platform, bool everything,
                        const ReleaseGate& gate = checkRelease);

/// Flushes every volume of `plan` at once, then unmounts them in the fixed order, telling
/// `reports` of each and of a slow one while it is written out. Not safe,
/// naming the first volume still mounted, when any is; else asks `gate` and is safe only when
/// nothing holds the storage (naming the first hold, or unreadable, when something does).
/// Blocks until every tool run has ended.
UnplugOutcome unmountPlanned(Platform& platform, UnplugPlan& plan, bool everything,
                             const UnmountReports& reports = {},
                             const ReleaseGate& gate = checkRelease);

/// When `outcome` is not safe, finds every holder of each volume that stayed mounted (or, when
/// none did, of each volume the release gate found still held) and puts them in its `holders`.
/// When the first volume stayed mounted because it is in use, names the first process found
/// busy (on the first volume when one holds it) and takes the text that names it with the
/// first volume. When no process is found, the text stays, unless the tool cannot see other
/// users' processes and nothing else holds the volume: the text then says that one of those
/// holds it. With `plan`, the plan unmountPlanned left the outcome from, the search takes the
/// plan's latest read of the mount table when the table has not changed since, instead of
/// reading it again. Blocks until the tools have ended.
void nameBusyProcess(Platform& platform, UnplugOutcome& outcome, UnplugPlan* plan = nullptr);

} // namespace quaylet
