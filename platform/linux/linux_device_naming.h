// LinuxDeviceNaming: from a Linux mount source (/dev/sdb1, /dev/mapper/x) to registry entries.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/device_naming.h"
#include "platform/linux/sysfs_block_devices.h"
#include "platform/linux/sysfs_block_stacks.h"

namespace quaylet {

/// What the mount table's device nodes are, measured against the device tree.
enum class MountSourceNodes {
    /// The tree is the running system's own (/sys): a node's device number finds its device.
    OfTheTree,
    /// The nodes are the running system's, the tree may describe another machine (a copy): a
    /// device counts only when the tree and the running system agree on its name and number,
    /// so that a copied tree never gives this system's devices to another's hardware.
    OfThisSystem,
    /// The mount table was recorded elsewhere: devices are found by name, and this system's
    /// nodes are never looked at.
    Recorded,
};

/// Finds a mount source's block device: /dev/NAME by its kernel name when the tree has a block
/// device of that name; otherwise through the node's device number (dev/block/MAJ:MIN under the
/// sysfs root), which covers /dev/disk/by-... and other links; and /dev/mapper/x, when its node
/// does not exist, as the device-mapper device named x. The registry entries are then looked up
/// by kernel name.
class LinuxDeviceNaming final : public DeviceNaming {
public:
    /// Naming over the device tree under `sysfsRoot`, for mount sources that are `nodes`; with
    /// OfThisSystem the running system's own tree is read under `systemRoot`.
    explicit LinuxDeviceNaming(std::string sysfsRoot = "/sys",
                               MountSourceNodes nodes = MountSourceNodes::OfTheTree,
                               std::string systemRoot = "/sys");

    /// Returns the media entry of the whole disk carrying `devicePath`, or 0.
    RegistryHandle wholeDiskService(Registry& registry, std::string_view devicePath) const override;
    /// Returns the media entry of `devicePath`'s own block device, or 0.
    RegistryHandle volumeService(Registry& registry, std::string_view devicePath) const override;

    /// Returns the whole disks at the bottom of the stack `mount` is mounted from (the disks
    /// of every member of a device-mapper, md or multi-device btrfs volume), each once.
    std::vector<RegistryHandle> mountedDiskServices(Registry& registry,
                                                    const MountEntry& mount) const override;
    /// Returns a naming of the same tree that keeps, for one scan, the names it reads.
    std::unique_ptr<DeviceNaming> forOneScan() const override;

    /// Returns the kernel names of the block device `mount` comes from: its source node, else
    /// (a source such as /dev/root that names no node) the device number the table carries;
    /// nullopt when neither names a block device of the tree.
    std::optional<BlockDeviceNames> blockDeviceNames(const MountEntry& mount) const;
    /// Returns the whole-disk kernel names at the bottom of the stack `mount` comes from,
    /// sorted, each once; empty when its block device is unknown.
    std::vector<std::string> mountedWholeDisks(const MountEntry& mount) const;

    /// Returns the kernel names of the block device at `devicePath`; nullopt when it is none
    /// (or, for OfThisSystem, when the tree and the running system disagree about it).
    std::optional<BlockDeviceNames> blockDeviceNames(std::string_view devicePath) const;

private:
    std::optional<BlockDeviceNames> namesInTree(std::string_view devicePath) const;
    bool agreesWithSystem(std::string_view devicePath, const BlockDeviceNames& names) const;

    std::optional<BlockDeviceNames> readBlockDeviceNames(std::string_view devicePath) const;

    SysfsBlockDevices devices_;
    SysfsBlockStacks stacks_;
    MountSourceNodes nodes_;
    SysfsBlockDevices system_;
    bool keepingNames_ = false; ///< A naming for one scan: names are kept by device path.
    mutable std::unordered_map<std::string, std::optional<BlockDeviceNames>> keptNames_;
};

} // namespace quaylet
