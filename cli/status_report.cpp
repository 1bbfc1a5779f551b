// Building the status report: the dock monitor's sightings and an explained scan.
#include "cli/status_report.h"

#include <array>
#include <utility>

#include "eject/holder_finder.h"
#include "volumes/scan_volumes.h"

namespace quaylet {

StatusReport buildStatusReport(Platform& platform, const MountTable& mounts, bool everything) {
    StatusReport report;
    report.everything = everything;
    {
        DockMonitor monitor(*platform.registry);
        monitor.startDockMonitor();
        report.dockSightings = monitor.sightingSources();
    }
    UnplugPlan plan;
    ScanExplanation explanation;
    scanVolumes(
        ScanSources{*platform.registry, mounts, *platform.fileManager, *platform.deviceNaming},
        plan, everything, report.bootVolumeBehindDock, &explanation);
    if (report.bootVolumeBehindDock && !plan.failures.empty()) {
        report.bootVolumeName = plan.failures.front().displayName;
    }
    report.volumes = inUnmountOrder(explanation.reasons);
    report.leftMounted = std::move(explanation.leftMounted);
    return report;
}

void addHolders(Platform& platform, StatusReport& report) {
    std::vector<VolumeHolders> volumes;
    for (const PlannedVolumeReason& reason : report.volumes) {
        volumes.push_back({reason.volume.displayName, reason.volume.mountPoint, {}});
    }
    findHolders(platform, volumes);
    report.holders = std::move(volumes);
}

std::vector<PlannedVolumeReason> inUnmountOrder(const std::vector<PlannedVolumeReason>& reasons) {
    constexpr std::array kOrder{PlanList::ThirdLevelImages, PlanList::SecondLevelImages,
                                PlanList::FirstLevelImages, PlanList::DockVolumes,
                                PlanList::ExternalVolumes};
    std::vector<PlannedVolumeReason> ordered;
    ordered.reserve(reasons.size());
    for (const PlanList list : kOrder) {
        for (const PlannedVolumeReason& reason : reasons) {
            if (reason.list == list) {
                ordered.push_back(reason);
            }
        }
    }
    return ordered;
}

std::string_view sightingSourceName(DockSightingSource source) {
    switch (source) {
    case DockSightingSource::Controller:
        return "controller";
    case DockSightingSource::Hub:
        return "hub";
    case DockSightingSource::Presence:
        return "presence";
    }
    return "unknown";
}

int imageLevel(PlanList list) {
    switch (list) {
    case PlanList::FirstLevelImages:
        return 1;
    case PlanList::SecondLevelImages:
        return 2;
    case PlanList::ThirdLevelImages:
        return 3;
    case PlanList::DockVolumes:
    case PlanList::ExternalVolumes:
        break;
    }
    return 0;
}

} // namespace quaylet
