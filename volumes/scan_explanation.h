// ScanExplanation: why each volume of an unplug plan stands in it.
#pragma once

#include <string>
#include <vector>

#include "dock/behind_dock.h"
#include "volumes/volume_record.h"

namespace quaylet {

/// The five volume lists of an unplug plan.
enum class PlanList {
    DockVolumes,
    ExternalVolumes,
    FirstLevelImages,
    SecondLevelImages,
    ThirdLevelImages,
};

/// Why one planned volume stands in its list.
struct PlannedVolumeReason {
    PlanList list = PlanList::DockVolumes;
    VolumeRecord volume;
    /// Dock volumes: the sign that put it behind the dock, or UntiedTunnel when it was put
    /// there because its tunnel may end at a dock.
    DockRule dockRule = DockRule::None;
    std::string hostMountPoint;     ///< Images: the volume that holds its file (or it).
    bool mountedInsideHost = false; ///< Level 1: it is there by its mount point, not its file.

    friend bool operator==(const PlannedVolumeReason&, const PlannedVolumeReason&) = default;
};

/// Why a mounted block-device volume stays out of the plan.
enum class LeftReason {
    Internal,  ///< On the computer's own storage: none of its disks is behind the dock.
    External,  ///< External storage, planned only with external storage too.
    Image,     ///< A disk image whose file lies on no planned volume.
    DeepImage, ///< A disk image whose file lies on a third-level image: not followed further.
};

/// One mounted volume the plan leaves alone, and why.
struct LeftVolumeReason {
    LeftReason reason = LeftReason::Internal;
    VolumeRecord volume;        ///< Images: with the image file.
    std::string hostMountPoint; ///< DeepImage: the third-level image that holds its file.

    friend bool operator==(const LeftVolumeReason&, const LeftVolumeReason&) = default;
};

/// One reason per planned volume, in plan order: dock volumes, external volumes, then the
/// first-, second- and third-level images, each list in mount-table order. Then every other
/// mount of a block device, in mount-table order.
struct ScanExplanation {
    std::vector<PlannedVolumeReason> reasons;
    std::vector<LeftVolumeReason> leftMounted;
};

} // namespace quaylet
