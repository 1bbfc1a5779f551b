// The release gate: from the system's block devices, which storage about to be unplugged is
// still mounted, swapped on, or carries an attached disk image.
#include "eject/release_gate.h"

#include <set>
#include <string_view>

#include "dock/behind_dock.h"
#include "platform/registry_object.h"
#include "volumes/disk_services.h"
#include "volumes/volume_display_name.h"

namespace quaylet {
namespace {

using Names = std::set<std::string, std::less<>>;

/// Whether a block device is storage about to be unplugged, judged on its own registry entry
/// `device`: behind the dock, or with `everything` any external storage.
bool isUnpluggedStorage(Registry& registry, const RegistryObject& device, bool everything) {
    if (!device) {
        return false;
    }
    return isServiceBehindDock(registry, device.get()) ||
           (everything && isExternalStorage(registry, device.get()));
}

/// The registry entries of the block devices of `report`, in its order, looked up together.
std::vector<RegistryObject> entriesOf(Registry& registry, const StorageUsageReport& report) {
    std::vector<std::string> names;
    names.reserve(report.devices.size());
    for (const BlockDeviceUse& device : report.devices) {
        names.push_back(device.name);
    }
    std::vector<RegistryObject> entries;
    entries.reserve(names.size()); // no allocation between the lookup and the owners below
    for (const RegistryHandle handle : registry.servicesForBsdNames(names)) {
        entries.emplace_back(registry, handle);
    }
    return entries;
}

/// Returns the mount the file at `path` lies on: the longest mount point that holds it, the
/// uppermost when several are equal; null when none does.
const MountedFileSystemUse* mountHolding(std::string_view path,
                                         const std::vector<MountedFileSystemUse>& mounts) {
    const MountedFileSystemUse* holding = nullptr;
    for (const MountedFileSystemUse& mount : mounts) {
        const std::string_view point = mount.mountPoint;
        const bool holds = point == "/" ? path.starts_with('/')
                                        : path.starts_with(point) && (path.size() == point.size() ||
                                                                      path[point.size()] == '/');
        if (holds && (holding == nullptr || point.size() >= holding->mountPoint.size())) {
            holding = &mount;
        }
    }
    return holding;
}

bool comesFromHeld(const MountedFileSystemUse& mount, const Names& held) {
    for (const std::string& device : mount.devices) {
        if (held.contains(device)) {
            return true;
        }
    }
    return false;
}

bool liesOnHeld(std::string_view path, const StorageUsageReport& report, const Names& held) {
    const MountedFileSystemUse* mount = mountHolding(path, report.mounts);
    return mount != nullptr && comesFromHeld(*mount, held);
}

// `held`, then everything stacked on it, and the loop devices whose image lies on a file
// system of it, until nothing more is added.
void growHeld(const StorageUsageReport& report, Names& held) {
    for (bool grown = true; grown;) {
        grown = false;
        for (const BlockDeviceUse& device : report.devices) {
            if (held.contains(device.name)) {
                for (const std::string& holder : device.holders) {
                    grown = held.insert(holder).second || grown;
                }
            } else if (!device.backingFile.empty() &&
                       liesOnHeld(device.backingFile, report, held)) {
                grown = held.insert(device.name).second || grown;
            }
        }
    }
}

ReleaseCheck checkHeld(FileManager& fileManager, const StorageUsageReport& report,
                       const Names& held) {
    ReleaseCheck check;
    check.complete = report.unreadable.empty();
    check.unreadable = report.unreadable;
    for (const MountedFileSystemUse& mount : report.mounts) {
        if (comesFromHeld(mount, held)) {
            check.holds.push_back(
                {RemainingHold::Kind::MountedVolume,
                 volumeDisplayName(fileManager, MountEntry{mount.devicePath, mount.mountPoint, {}}),
                 mount.mountPoint});
        }
    }
    for (const SwapUse& swap : report.swaps) {
        if (swap.device.empty() ? liesOnHeld(swap.path, report, held)
                                : held.contains(swap.device)) {
            check.holds.push_back({RemainingHold::Kind::Swap, swap.path, swap.path});
        }
    }
    for (const BlockDeviceUse& device : report.devices) {
        if (!device.backingFile.empty() && liesOnHeld(device.backingFile, report, held)) {
            check.holds.push_back({RemainingHold::Kind::AttachedImage,
                                   lastPathComponent(device.backingFile), device.backingFile});
        }
    }
    return check;
}

} // namespace

ReleaseCheck checkRelease(Platform& platform, bool everything,
                          const std::vector<MountEntry>* mounts) {
    if (!platform.storageUsage) {
        ReleaseCheck check;
        check.complete = false;
        check.unreadable = "storage in use";
        return check;
    }
    const RegistryLookups lookups(*platform.registry); // one look at the devices for all
    const StorageUsageReport report = mounts != nullptr
                                          ? platform.storageUsage->readWithMounts(*mounts)
                                          : platform.storageUsage->read();
    Names held;
    const std::vector<RegistryObject> entries = entriesOf(*platform.registry, report);
    for (std::size_t i = 0; i < entries.size() && i < report.devices.size(); ++i) {
        if (isUnpluggedStorage(*platform.registry, entries[i], everything)) {
            held.insert(report.devices[i].name);
        }
    }
    growHeld(report, held);
    return checkHeld(*platform.fileManager, report, held);
}

ReleaseCheck checkDevicesReleased(FileManager& fileManager, const StorageUsageReport& report,
                                  const std::vector<std::string>& devices) {
    Names held(devices.begin(), devices.end());
    growHeld(report, held);
    return checkHeld(fileManager, report, held);
}

} // namespace quaylet
