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

/// One reason per planned volume, in plan order: dock volumes, external volumes, then the
/// first-, second- and third-level images, each list in mount-table order.
struct ScanExplanation {
    std::vector<PlannedVolumeReason> reasons;
};

} // namespace quaylet
