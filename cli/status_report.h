// StatusReport: the docks seen and the plan an unplug command would act on, changing nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dock/dock_monitor.h"
#include "eject/holder.h"
#include "platform/platform.h"
#include "volumes/scan_explanation.h"

namespace quaylet {

/// What `quaylet-cli status` reports.
struct StatusReport {
    std::vector<DockSightingSource> dockSightings; ///< One per sighting, in record order.
    bool everything = false;                       ///< Planned with external storage too.
    bool bootVolumeBehindDock = false;
    std::string bootVolumeName;                ///< Its display name, when behind the dock.
    std::vector<PlannedVolumeReason> volumes;  ///< In the order the unmount worker takes them.
    std::vector<LeftVolumeReason> leftMounted; ///< The other volumes, in mount-table order.
    /// Every holder of each planned volume, in unmount order; none when not searched.
    std::optional<std::vector<VolumeHolders>> holders;
};

/// Starts a dock monitor on the platform's registry to count the docks, then scans the volumes
/// as the unplug command would (with external storage when `everything`). Unmounts nothing.
/// The scan answers every question from `mounts`, one read of the table.
StatusReport buildStatusReport(Platform& platform, const MountTable& mounts, bool everything);

/// Finds every holder of each planned volume of `report` (eject/holder_finder.h). Runs the
/// open-files tool and reads every process, so it blocks for a while on a busy system.
void addHolders(Platform& platform, StatusReport& report);

/// Returns `reasons` (in plan order) in the unmount worker's order: third-, second- and
/// first-level images, dock volumes, external volumes; each list keeping its own order.
std::vector<PlannedVolumeReason> inUnmountOrder(const std::vector<PlannedVolumeReason>& reasons);

/// Returns the name of a sighting source: "controller", "hub" or "presence".
std::string_view sightingSourceName(DockSightingSource source);

/// Returns the image level of `list` (1 to 3), or 0 for the dock and external lists.
int imageLevel(PlanList list);

} // namespace quaylet
