// The mounted-volume scan: classify every mount, then follow disk images three levels deep.
#include "volumes/scan_volumes.h"

#include <string>
#include <utility>
#include <vector>

#include "dock/behind_dock.h"
#include "volumes/disk_services.h"
#include "volumes/path_on_volumes.h"
#include "volumes/volume_display_name.h"

namespace quaylet {
namespace {

// The working lists of one scan, with the reasons kept beside them.
struct WorkingLists {
    std::vector<VolumeRecord> dock, external, images, levels[3];
    std::vector<PlannedVolumeReason> dockReasons, levelReasons[3];
};

enum class Kind { Dock, External, Image, Unplanned };

// Classifies one mount by the three tests in order of precedence; fills the record's image
// path for an image and `rule` for a dock volume. A volume stacked over several disks is
// behind the dock (or external) when any of them is.
Kind classify(const ScanSources& sources, const MountEntry& mount, VolumeRecord& record,
              DockRule& rule) {
    const std::vector<RegistryObject> disks =
        mountedDiskServices(sources.registry, sources.deviceNaming, mount);
    for (const RegistryObject& disk : disks) {
        rule = behindDockRule(sources.registry, disk.get());
        if (rule != DockRule::None) {
            return Kind::Dock;
        }
    }
    for (const RegistryObject& disk : disks) {
        if (isExternalStorage(sources.registry, disk.get())) {
            return Kind::External;
        }
    }
    std::string imagePath;
    if (const auto volume =
            volumeService(sources.registry, sources.deviceNaming, record.devicePath)) {
        if (diskImagePath(sources.registry, volume.get(), imagePath)) {
            record.imagePath = std::move(imagePath);
            return Kind::Image;
        }
    }
    return Kind::Unplanned;
}

void refuseBootVolume(const VolumeRecord& record, UnplugPlan& plan, bool& bootVolumeFound) {
    bootVolumeFound = true;
    plan.failures.clear();
    plan.failures.push_back(
        UnmountFailure::fromVolume(record, kBootVolumeMessage, kBootVolumeStatus));
}

// Sorts every mount into the dock, external and image lists, in table order.
void classifyAll(const ScanSources& sources, const std::vector<MountEntry>& table,
                 WorkingLists& work, UnplugPlan& plan, bool& bootVolumeFound) {
    for (const MountEntry& mount : table) {
        VolumeRecord record{mount.devicePath,
                            mount.mountPoint,
                            volumeDisplayName(sources.fileManager, mount.mountPoint),
                            {},
                            mount.deviceNumber};
        DockRule rule = DockRule::None;
        switch (classify(sources, mount, record, rule)) {
        case Kind::Dock:
            if (record.mountPoint == "/") {
                refuseBootVolume(record, plan, bootVolumeFound);
            }
            work.dockReasons.push_back({PlanList::DockVolumes, record, rule, {}, false});
            work.dock.push_back(std::move(record));
            break;
        case Kind::External:
            work.external.push_back(std::move(record));
            break;
        case Kind::Image:
            work.images.push_back(std::move(record));
            break;
        case Kind::Unplanned:
            break;
        }
    }
}

// Appends to level `level` (0 to 2) every image whose file lies on `hosts` (and `extraHosts`);
// at level 0 an image mounted inside a host counts too.
void collectLevel(WorkingLists& work, int level, const std::vector<VolumeRecord>& hosts,
                  const std::vector<VolumeRecord>* extraHosts) {
    constexpr PlanList kLists[] = {PlanList::FirstLevelImages, PlanList::SecondLevelImages,
                                   PlanList::ThirdLevelImages};
    for (const VolumeRecord& image : work.images) {
        const VolumeRecord* host = findHostVolume(image.imagePath, hosts, extraHosts);
        const bool byMountPoint = host == nullptr && level == 0;
        if (byMountPoint) {
            host = findHostVolume(image.mountPoint, hosts, extraHosts);
        }
        if (host != nullptr) {
            work.levels[level].push_back(image);
            work.levelReasons[level].push_back(
                {kLists[level], image, DockRule::None, host->mountPoint, byMountPoint});
        }
    }
}

void explain(const WorkingLists& work, bool everything, ScanExplanation& explanation) {
    auto& reasons = explanation.reasons;
    reasons = work.dockReasons;
    if (everything) {
        for (const VolumeRecord& volume : work.external) {
            reasons.push_back({PlanList::ExternalVolumes, volume, DockRule::None, {}, false});
        }
    }
    for (const auto& level : work.levelReasons) {
        reasons.insert(reasons.end(), level.begin(), level.end());
    }
}

} // namespace

std::int32_t scanVolumes(const ScanSources& sources, UnplugPlan& plan, bool everything,
                         bool& bootVolumeFound, ScanExplanation* explanation) {
    plan.clear();
    if (explanation != nullptr) {
        explanation->reasons.clear();
    }
    const std::vector<MountEntry> table = sources.mountTable.entries();
    if (table.empty()) {
        return 0;
    }
    WorkingLists work;
    classifyAll(sources, table, work, plan, bootVolumeFound);
    collectLevel(work, 0, work.dock, everything ? &work.external : nullptr);
    for (int level = 1; level < 3 && !work.levels[level - 1].empty(); ++level) {
        collectLevel(work, level, work.levels[level - 1], nullptr);
    }
    if (explanation != nullptr) {
        explain(work, everything, *explanation);
    }
    plan.dockVolumes = std::move(work.dock);
    if (everything) {
        plan.externalVolumes = std::move(work.external);
    }
    plan.firstLevelImages = std::move(work.levels[0]);
    plan.secondLevelImages = std::move(work.levels[1]);
    plan.thirdLevelImages = std::move(work.levels[2]);
    return plan.volumeCount();
}

} // namespace quaylet
