// UnplugPlan: the volumes one unplug command has to unmount, by level, and its failures.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/mount_point_probe.h"
#include "platform/mount_table.h"
#include "volumes/unmount_failure.h"
#include "volumes/volume_record.h"

namespace quaylet {

/// The working set of one unplug command. The scan fills the five volume lists; the
/// unmount worker walks them innermost images first and records what stayed mounted.
class UnplugPlan {
public:
    std::vector<VolumeRecord> dockVolumes;       ///< Volumes whose whole disk is behind a dock.
    std::vector<VolumeRecord> externalVolumes;   ///< Other external volumes (only "everything").
    std::vector<VolumeRecord> firstLevelImages;  ///< Images on, or mounted inside, a host volume.
    std::vector<VolumeRecord> secondLevelImages; ///< Images whose file lies on a first-level image.
    std::vector<VolumeRecord> thirdLevelImages; ///< Images whose file lies on a second-level image.
    std::vector<UnmountFailure> failures;       ///< Boot-volume refusal, or volumes left mounted.
    /// The latest read of the mount table: the scan's, which the plan was made from, then the
    /// one that judged the last volume; empty when not kept.
    std::vector<MountEntry> latestMounts;
    /// Tells whether the mount table has changed since `latestMounts` was read; null when
    /// nothing can.
    std::shared_ptr<MountTableChanges> latestMountsChanges;

    /// Empties all six lists.
    void clear();

    /// Returns the number of planned volumes: the sizes of the five volume lists added up.
    std::int32_t volumeCount() const;

    /// Replaces the content of `destination` with copies of `failures`, in order, and returns
    /// their number. Copying into the plan's own list changes nothing.
    std::int32_t copyFailures(std::vector<UnmountFailure>& destination) const;
};

} // namespace quaylet
