// SysfsBlockDevices: block devices by number and by kernel name, their whole disks, holders and
// loop backing files, read from a sysfs tree.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace quaylet {

/// The kernel names of a block device: its own and that of the whole disk carrying it.
struct BlockDeviceNames {
    std::string volume;    ///< sdb1, nvme0n1p2, dm-0, loop3.
    std::string wholeDisk; ///< sdb, nvme0n1, dm-0, loop3.

    friend bool operator==(const BlockDeviceNames&, const BlockDeviceNames&) = default;
};

/// Answers questions about block devices from a sysfs tree (default /sys). The one place that
/// turns a device number or a kernel name into a block device and its whole disk.
class SysfsBlockDevices {
public:
    /// Makes a reader of the sysfs tree rooted at `sysRoot`.
    explicit SysfsBlockDevices(std::string sysRoot = "/sys");

    /// Returns the names of block device number `device` (dev/block/MAJ:MIN); nullopt when
    /// the tree has no such device.
    std::optional<BlockDeviceNames> namesOfNumber(std::uint64_t device) const;
    /// Returns the names of the block device called `name` (class/block/NAME); nullopt when
    /// the tree has none.
    std::optional<BlockDeviceNames> namesOfKernelName(std::string_view name) const;
    /// Returns the kernel name (dm-0) of the device-mapper device named `mapperName`; nullopt
    /// when there is none.
    std::optional<std::string> deviceMapperDevice(std::string_view mapperName) const;
    /// Returns the number the tree gives block device `name` (its dev attribute); nullopt when
    /// the device or its number is unknown.
    std::optional<std::uint64_t> deviceNumber(std::string_view name) const;

    /// Returns the kernel name of block device number `device` (sdb1, loop3p1), or nullopt.
    std::optional<std::string> deviceName(std::uint64_t device) const;
    /// Returns the name of the whole disk carrying `device`: the parent disk of a partition
    /// (loop3p1 belongs to loop3), the device itself otherwise; nullopt when unknown.
    std::optional<std::string> wholeDiskName(std::uint64_t device) const;
    /// Returns whether another device is stacked on disk `name` or one of its partitions
    /// (a non-empty holders folder); false when the disk is unknown.
    bool hasHolders(const std::string& name) const;
    /// Returns whether `name` is a loop device.
    bool isLoopDevice(const std::string& name) const;
    /// Returns the backing file of loop device `name`; nullopt when detached or no loop.
    std::optional<std::string> loopBackingFile(const std::string& name) const;

    /// Makes this reader keep what each link it reads says, and answer again from that: for a
    /// reader that lives for one scan only, since devices come and go.
    void keepLinks() { keepingLinks_ = true; }

private:
    std::optional<BlockDeviceNames> namesOfLink(const std::string& linkDirectory,
                                                std::string_view link) const;
    std::optional<BlockDeviceNames> readNamesOfLink(const std::string& linkPath) const;

    std::string sysRoot_;
    bool keepingLinks_ = false;
    /// The names each link read so far gave, by the link's path; kept with keepLinks() only.
    mutable std::unordered_map<std::string, std::optional<BlockDeviceNames>> keptLinks_;
};

} // namespace quaylet
