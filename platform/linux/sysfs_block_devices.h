// SysfsBlockDevices: whole disks, partitions, holders and loop backing files, read from sysfs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quaylet {

/// Answers questions about block devices from a sysfs tree (default /sys).
class SysfsBlockDevices {
public:
    /// Makes a reader of the sysfs tree rooted at `sysRoot`.
    explicit SysfsBlockDevices(std::string sysRoot = "/sys");

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

private:
    std::string sysRoot_;
};

} // namespace quaylet
