// Writing the status report as JSON through nlohmann-json, keys in a fixed order.
#include "cli/status_json.h"

#include <nlohmann/json.hpp>

#include "cli/holders_report.h"

namespace quaylet {
namespace {

using Json = nlohmann::ordered_json;

const char* dockRuleName(DockRule rule) {
    switch (rule) {
    case DockRule::TunnelEndpoint:
        return "tunnel-endpoint";
    case DockRule::DockUsbIds:
        return "dock-usb-ids";
    case DockRule::HubRule:
        return "hub-rule";
    case DockRule::PortRule:
        return "port-rule";
    case DockRule::UntiedTunnel:
        return "untied-tunnel";
    case DockRule::None:
        break;
    }
    return "behind-dock";
}

Json volumeJson(const PlannedVolumeReason& reason) {
    const int level = imageLevel(reason.list);
    Json volume;
    volume["list"] = level > 0                              ? "image"
                     : reason.list == PlanList::DockVolumes ? "dock"
                                                            : "external";
    if (level > 0) {
        volume["level"] = level;
    }
    volume["displayName"] = reason.volume.displayName;
    volume["mountPoint"] = reason.volume.mountPoint;
    volume["device"] = reason.volume.devicePath;
    if (level > 0) {
        volume["imagePath"] = reason.volume.imagePath;
        volume["rule"] = reason.mountedInsideHost ? "mounted-inside" : "image-file";
        volume["host"] = reason.hostMountPoint;
    } else {
        volume["rule"] =
            reason.list == PlanList::DockVolumes ? dockRuleName(reason.dockRule) : "external";
    }
    return volume;
}

const char* leftReasonName(const LeftVolumeReason& left) {
    switch (left.reason) {
    case LeftReason::Internal:
        return left.volume.mountPoint == "/" ? "boot-volume" : "internal";
    case LeftReason::External:
        return "external";
    case LeftReason::Image:
        return "image";
    case LeftReason::DeepImage:
        return "image-too-deep";
    }
    return "internal";
}

Json leftJson(const LeftVolumeReason& left) {
    Json volume;
    volume["displayName"] = left.volume.displayName;
    volume["mountPoint"] = left.volume.mountPoint;
    volume["device"] = left.volume.devicePath;
    if (left.reason == LeftReason::Image || left.reason == LeftReason::DeepImage) {
        volume["imagePath"] = left.volume.imagePath;
    }
    if (left.reason == LeftReason::DeepImage) {
        volume["host"] = left.hostMountPoint;
    }
    volume["reason"] = leftReasonName(left);
    return volume;
}

} // namespace

std::string statusJson(const StatusReport& report) {
    Json document;
    document["schemaVersion"] = kStatusJsonSchemaVersion;
    Json sources = Json::array();
    for (const DockSightingSource source : report.dockSightings) {
        sources.push_back(std::string(sightingSourceName(source)));
    }
    document["docks"] = {{"sightings", report.dockSightings.size()}, {"sources", sources}};
    document["everything"] = report.everything;
    document["bootVolumeBehindDock"] = report.bootVolumeBehindDock;
    if (report.bootVolumeBehindDock) {
        document["bootVolume"] = report.bootVolumeName;
    }
    Json volumes = Json::array();
    for (const PlannedVolumeReason& reason : report.volumes) {
        volumes.push_back(volumeJson(reason));
    }
    document["volumes"] = std::move(volumes);
    Json leftMounted = Json::array();
    for (const LeftVolumeReason& left : report.leftMounted) {
        leftMounted.push_back(leftJson(left));
    }
    document["leftMounted"] = std::move(leftMounted);
    if (report.holders) {
        document["holders"] = holdersJson(*report.holders);
    }
    return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

} // namespace quaylet
