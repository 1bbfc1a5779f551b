// DeviceNaming: from a mount table's device path to the registry entries of its disk.
#pragma once

#include <string_view>

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
};

} // namespace quaylet
