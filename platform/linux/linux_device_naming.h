// LinuxDeviceNaming: from a Linux mount source (/dev/sdb1, /dev/mapper/x) to registry entries.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/device_naming.h"

namespace quaylet {

/// The kernel names of a block device: its own and that of the whole disk carrying it.
struct BlockDeviceNames {
    std::string volume;    ///< sdb1, nvme0n1p2, dm-0, loop3.
    std::string wholeDisk; ///< sdb, nvme0n1, dm-0, loop3.

    friend bool operator==(const BlockDeviceNames&, const BlockDeviceNames&) = default;
};

/// Finds a mount source's block device: /dev/NAME by its kernel name when the tree has a block
/// device of that name; otherwise through the node's device number (dev/block/MAJ:MIN under the
/// sysfs root), which covers /dev/disk/by-... and other links; and /dev/mapper/x, when its node
/// does not exist, as the device-mapper device named x. The registry entries are then looked up
/// by kernel name.
class LinuxDeviceNaming final : public DeviceNaming {
public:
    /// Naming over the device tree under `sysfsRoot`.
    explicit LinuxDeviceNaming(std::string sysfsRoot = "/sys");

    /// Returns the media entry of the whole disk carrying `devicePath`, or 0.
    RegistryHandle wholeDiskService(Registry& registry, std::string_view devicePath) const override;
    /// Returns the media entry of `devicePath`'s own block device, or 0.
    RegistryHandle volumeService(Registry& registry, std::string_view devicePath) const override;

    /// Returns the kernel names of the block device at `devicePath`; nullopt when it is none.
    std::optional<BlockDeviceNames> blockDeviceNames(std::string_view devicePath) const;

private:
    std::optional<BlockDeviceNames> namesOfBlockDirectory(const std::string& linkDirectory,
                                                          const std::string& link) const;
    std::optional<BlockDeviceNames> namesByDeviceNumber(const std::string& devicePath) const;
    std::optional<BlockDeviceNames> namesByMapperName(std::string_view devicePath) const;
    std::optional<std::string> deviceMapperDevice(std::string_view mapperName) const;

    std::string root_;
};

} // namespace quaylet
