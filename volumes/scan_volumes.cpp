// The mounted-volume scan: classify every mount, then follow disk images three levels deep.
#include "volumes/scan_volumes.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
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
    std::vector<LeftVolumeReason> others; ///< Every other block-device mount, in table order.
};

enum class Kind { Dock, External, Image, Unplanned };

/// A mount's source and device number: what the three tests are asked about.
using MountedDevice = std::pair<std::string_view, std::uint64_t>;

/// What the three tests say of one mounted device.
struct Classification {
    Kind kind = Kind::Unplanned;
    DockRule rule = DockRule::None; ///< Dock volumes: the sign that put the disk behind the dock.
    std::string imagePath;          ///< Images: the image file.
    bool onDisk = false;            ///< Whether the mount comes from a block device.
};

// Classifies one mount by the three tests in order of precedence. A volume stacked over several
// disks is behind the dock (or external) when any of them is. The external test asks about the
// disks the dock test found, so they are looked up once.
Classification classify(const ScanSources& sources, const MountEntry& mount) {
    Classification result;
    const std::vector<RegistryObject> disks =
        mountedDiskServices(sources.registry, sources.deviceNaming, mount);
    result.onDisk = !disks.empty();
    for (const RegistryObject& disk : disks) {
        result.rule = behindDockRule(sources.registry, disk.get());
        if (result.rule != DockRule::None) {
            result.kind = Kind::Dock;
            return result;
        }
    }
    for (const RegistryObject& disk : disks) {
        if (isExternalStorage(sources.registry, disk.get())) {
            result.kind = Kind::External;
            return result;
        }
    }
    if (const auto volume =
            volumeService(sources.registry, sources.deviceNaming, mount.devicePath)) {
        if (diskImagePath(sources.registry, volume.get(), result.imagePath)) {
            result.kind = Kind::Image;
        }
    }
    return result;
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
    // Mounts of one device (bind mounts, subvolumes) get its answers: a device is tested once.
    std::map<MountedDevice, Classification> devices;
    for (const MountEntry& mount : table) {
        const MountedDevice device{mount.devicePath, mount.deviceNumber};
        auto known = devices.find(device);
        if (known == devices.end()) {
            known = devices.emplace(device, classify(sources, mount)).first;
        }
        const Classification& tested = known->second;
        VolumeRecord record{mount.devicePath, mount.mountPoint, {}, {}, mount.deviceNumber};
        switch (tested.kind) {
        case Kind::Dock:
            if (record.mountPoint == "/") {
                refuseBootVolume(record, plan, bootVolumeFound);
            }
            work.dockReasons.push_back({PlanList::DockVolumes, record, tested.rule, {}, false});
            work.dock.push_back(std::move(record));
            break;
        case Kind::External:
            work.others.push_back({LeftReason::External, record, {}});
            work.external.push_back(std::move(record));
            break;
        case Kind::Image:
            record.imagePath = tested.imagePath;
            work.others.push_back({LeftReason::Image, record, {}});
            work.images.push_back(std::move(record));
            break;
        case Kind::Unplanned:
            if (tested.onDisk) {
                work.others.push_back({LeftReason::Internal, std::move(record), {}});
            }
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

// Names every volume the scan keeps, from the scan's one reading of the mount table. Only
// these are named: a name may have to be read off the device, and disks the plan leaves alone
// are not to be touched, unless an explanation asks what became of each of them.
void nameKeptVolumes(VolumeNames& names, UnplugPlan& plan, ScanExplanation* explanation) {
    for (auto* list : {&plan.dockVolumes, &plan.externalVolumes, &plan.firstLevelImages,
                       &plan.secondLevelImages, &plan.thirdLevelImages}) {
        for (VolumeRecord& volume : *list) {
            volume.displayName = names.displayName(volume.mountPoint);
        }
    }
    for (UnmountFailure& failure : plan.failures) {
        failure.displayName = names.displayName(failure.mountPoint);
    }
    if (explanation != nullptr) {
        for (PlannedVolumeReason& reason : explanation->reasons) {
            reason.volume.displayName = names.displayName(reason.volume.mountPoint);
        }
        for (LeftVolumeReason& left : explanation->leftMounted) {
            left.volume.displayName = names.displayName(left.volume.mountPoint);
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
    // The rest: external storage when it is not planned, images on no planned volume or on a
    // third-level image.
    for (LeftVolumeReason other : work.others) {
        const bool planned =
            std::any_of(reasons.begin(), reasons.end(), [&](const PlannedVolumeReason& reason) {
                return reason.volume == other.volume;
            });
        if (planned) {
            continue;
        }
        if (other.reason == LeftReason::Image) {
            if (const VolumeRecord* host =
                    findHostVolume(other.volume.imagePath, work.levels[2], nullptr)) {
                other.reason = LeftReason::DeepImage;
                other.hostMountPoint = host->mountPoint;
            }
        }
        explanation.leftMounted.push_back(std::move(other));
    }
}

} // namespace

std::int32_t scanVolumes(const ScanSources& sources, UnplugPlan& plan, bool everything,
                         bool& bootVolumeFound, ScanExplanation* explanation) {
    plan.clear();
    if (explanation != nullptr) {
        explanation->reasons.clear();
        explanation->leftMounted.clear();
    }
    const std::vector<MountEntry> table = sources.mountTable.entries();
    if (table.empty()) {
        return 0;
    }
    // One look at the devices for the whole scan, as there is one read of the mount table.
    const RegistryLookups lookups(sources.registry);
    // The scan asks about one device several times (its disks, then its volume); a naming
    // of its own answers the repeats from what it read, and is gone when the scan ends.
    const std::unique_ptr<DeviceNaming> scanNaming = sources.deviceNaming.forOneScan();
    const ScanSources scanSources{sources.registry, sources.mountTable, sources.fileManager,
                                  scanNaming ? *scanNaming : sources.deviceNaming};
    WorkingLists work;
    classifyAll(scanSources, table, work, plan, bootVolumeFound);
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
    VolumeNames names(sources.fileManager, table);
    nameKeptVolumes(names, plan, explanation);
    return plan.volumeCount();
}

} // namespace quaylet
