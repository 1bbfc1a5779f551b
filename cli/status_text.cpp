// Writing the status report as aligned text.
#include "cli/status_text.h"

#include <algorithm>
#include <vector>

#include "cli/holders_report.h"
#include "cli/printable_text.h"

namespace quaylet {
namespace {

using Row = std::vector<std::string>;

std::string dockRuleText(DockRule rule) {
    switch (rule) {
    case DockRule::TunnelEndpoint:
        return "Thunderbolt tunnel to the dock";
    case DockRule::DockUsbIds:
        return "on a USB hub with the dock's IDs";
    case DockRule::HubRule:
        return "hub rule: under the dock's topmost USB hub";
    case DockRule::PortRule:
        return "port rule: on one of the dock's USB ports";
    case DockRule::UntiedTunnel:
        return "treated as behind the dock: tunnelled, but could not tell which Thunderbolt "
               "device carries it";
    case DockRule::None:
        break;
    }
    return "behind the dock";
}

std::string listText(PlanList list) {
    if (const int level = imageLevel(list); level > 0) {
        return "image " + std::to_string(level);
    }
    return list == PlanList::DockVolumes ? "dock" : "external";
}

std::string tableText(const std::vector<Row>& rows) {
    std::vector<std::size_t> widths(rows.front().size());
    for (const Row& row : rows) {
        for (std::size_t column = 0; column < row.size(); ++column) {
            widths[column] = std::max(widths[column], row[column].size());
        }
    }
    std::string text;
    for (const Row& row : rows) {
        std::string line = " ";
        for (std::size_t column = 0; column < row.size(); ++column) {
            line += " " + row[column];
            if (column + 1 < row.size()) {
                line.append(widths[column] - row[column].size() + 1, ' ');
            }
        }
        text += line + "\n";
    }
    return text;
}

std::string volumesText(const StatusReport& report, const StringTable& strings) {
    if (report.volumes.empty()) {
        return strings.text("STATUS_NOTHING_TO_UNMOUNT") + "\n";
    }
    std::vector<Row> rows{{"LIST", "NAME", "MOUNT POINT", "DEVICE", "WHY"}};
    for (const PlannedVolumeReason& reason : report.volumes) {
        rows.push_back({listText(reason.list), printablePath(reason.volume.displayName),
                        printablePath(reason.volume.mountPoint),
                        printablePath(reason.volume.devicePath), reasonText(reason)});
    }
    const std::string scope =
        strings.text(report.everything ? "STATUS_EVERYTHING_SCOPE" : "STATUS_DOCK_SCOPE");
    return strings.format("STATUS_UNMOUNT_ORDER", {scope}) + "\n" + tableText(rows);
}

std::string leftMountedText(const StatusReport& report, const StringTable& strings) {
    if (report.leftMounted.empty()) {
        return {};
    }
    std::vector<Row> rows{{"NAME", "MOUNT POINT", "DEVICE", "WHY"}};
    for (const LeftVolumeReason& left : report.leftMounted) {
        rows.push_back({printablePath(left.volume.displayName),
                        printablePath(left.volume.mountPoint),
                        printablePath(left.volume.devicePath), leftReasonText(left)});
    }
    return strings.text("STATUS_LEFT_MOUNTED") + "\n" + tableText(rows);
}

} // namespace

std::string docksLine(const std::vector<DockSightingSource>& sightings) {
    if (sightings.empty()) {
        return "Docks: none seen\n";
    }
    std::string line = "Docks: " + std::to_string(sightings.size()) +
                       (sightings.size() == 1 ? " sighting (" : " sightings (");
    for (std::size_t i = 0; i < sightings.size(); ++i) {
        line += (i == 0 ? "" : ", ") + std::string(sightingSourceName(sightings[i]));
    }
    return line + ")\n";
}

std::string reasonText(const PlannedVolumeReason& reason) {
    if (reason.list == PlanList::DockVolumes) {
        return dockRuleText(reason.dockRule);
    }
    if (reason.list == PlanList::ExternalVolumes) {
        return "external storage";
    }
    if (reason.mountedInsideHost) {
        return "mounted inside " + printablePath(reason.hostMountPoint);
    }
    return "image file " + printablePath(reason.volume.imagePath) + " on " +
           printablePath(reason.hostMountPoint);
}

std::string leftReasonText(const LeftVolumeReason& left) {
    switch (left.reason) {
    case LeftReason::Internal:
        return left.volume.mountPoint == "/" ? "boot volume: the computer's own storage"
                                             : "internal: not behind the dock";
    case LeftReason::External:
        return "external storage, not behind the dock: only with --everything";
    case LeftReason::Image:
        return "image file " + printablePath(left.volume.imagePath) + " is on no volume to unmount";
    case LeftReason::DeepImage:
        return "image file " + printablePath(left.volume.imagePath) + " on " +
               printablePath(left.hostMountPoint) + ": deeper than three levels of images";
    }
    return "not behind the dock";
}

std::string statusText(const StatusReport& report, const StringTable& strings) {
    std::string text = docksLine(report.dockSightings) + volumesText(report, strings) +
                       leftMountedText(report, strings);
    if (report.bootVolumeBehindDock) {
        text +=
            strings.format("STATUS_BOOT_VOLUME_WARNING", {printablePath(report.bootVolumeName)}) +
            "\n";
    }
    if (report.holders) {
        text += report.holders->empty() ? "" : holdersText(*report.holders, strings);
    }
    return text;
}

} // namespace quaylet
