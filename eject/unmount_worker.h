// The unmount worker: unmounts a plan's volumes, innermost images first, and records failures.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "eject/writing_watch.h"
#include "platform/mount_point_probe.h"
#include "platform/process_runner.h"
#include "platform/tool_commands.h"
#include "platform/volume_flush.h"
#include "volumes/unplug_plan.h"

namespace quaylet {

/// What the worker runs and how it judges the outcome. `onVolumeDone`, when set, hears of each
/// volume as soon as it is judged (true: unmounted). `flush`, when set, starts writing out
/// every planned volume before the first unmount. `onWriting`, when set, hears from another
/// thread of each unmount still running after `watchTimes.delay`, with what `gauge` reads.
struct UnmountTools {
    ProcessRunner& runner;
    const ToolCommands& commands;
    const MountPointProbe& mounts;
    std::function<void(const VolumeRecord& volume, bool unmounted)> onVolumeDone = {};
    VolumeFlush* flush = nullptr;
    const WritebackGauge* gauge = nullptr;
    WritingReport onWriting = {};
    WatchTimes watchTimes = {};
    /// When set: the read of the table the first volume is first looked at by, when it holds
    /// one (else a read is taken); left holding the read that judged the last volume.
    std::shared_ptr<const MountPointProbe>* reading = nullptr;
    /// When set with `reading`: tells whether the table has changed since the read `reading`
    /// holds was taken; else the worker watches the table itself.
    MountTableChanges* readingChanges = nullptr;
};

/// Empties `plan.failures`, unmounts every planned volume (third-, second-, first-level images,
/// dock volumes, external volumes) and appends one failure for each volume still mounted.
/// The flushes of the volumes after the first begin together before the first unmount, when
/// `tools.gauge` does not tell that too little is unwritten for them to pay; each volume's own
/// (and those of its disk) end before it is unmounted. Blocks until every tool run and flush
/// has ended.
void unmountAll(UnplugPlan& plan, const UnmountTools& tools);

/// Unmounts the disk carrying `volume` and returns whether the volume is gone; sets `status` to
/// 0 and empties `message`. When it stays mounted, `cause` says why, as the tool's line about
/// the volume (or its first line about a volume that stayed mounted) starts; busy when the
/// tool says nothing of it. With `reading`, the first look is taken from the read it holds when
/// it holds one, and the read that judges the outcome is left in it: between two volumes nothing
/// runs but the worker, so one read is the outcome of one volume and the first look at the next.
bool unmountVolume(const VolumeRecord& volume, std::int32_t& status, std::string& message,
                   UnmountCause& cause, const UnmountTools& tools,
                   std::shared_ptr<const MountPointProbe>* reading = nullptr);

} // namespace quaylet
