// DeviceNaming: from a mount table's device path to the registry entries of its disk.
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "platform/mount_table.h"
#include "platform/registry.h"

namespace quaylet {

/// Turns a device path of the mount table into registry handles. Each platform names its
/// devices its own way (disk4s1 on macOS and in snapshots, sdb1 or dm-0 on Linux).
class DeviceNaming {
public:
    virtual ~DeviceNaming() = default;
    /// Returns the whole disk carrying the volume at `devicePath` (a reference), or 0.
    virtual RegistryHandle wholeDiskService(Registry& registry,
                                            std::string_view devicePath) const = 0;
    /// Returns the volume's own media entry (a reference), or 0.
    virtual RegistryHandle volumeService(Registry& registry, std::string_view devicePath) const = 0;
    /// Returns the whole disks (references, each to be released) that carry the mounted file
    /// system `mount`: every disk at the bottom of a stacked volume, in a stable order; empty
    /// when there is none. By default the one whole disk of its device path.
    virtual std::vector<RegistryHandle> mountedDiskServices(Registry& registry,
                                                            const MountEntry& mount) const {
        const RegistryHandle disk = wholeDiskService(registry, mount.devicePath);
        return disk == kNoRegistryObject ? std::vector<RegistryHandle>{}
                                         : std::vector<RegistryHandle>{disk};
    }
    /// Returns a naming for one scan, which may keep what it reads to answer the scan's
    /// repeated questions; it must not outlive the scan, since devices come and go. Null when
    /// this naming keeps nothing: the scan then uses it as it is.
    virtual std::unique_ptr<DeviceNaming> forOneScan() const { return nullptr; }
};

} // namespace quaylet
