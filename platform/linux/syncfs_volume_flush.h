// SyncfsVolumeFlush: a volume's cache written out with syncfs(2) on its mount point.
#pragma once

#include <string>

#include "platform/volume_flush.h"

namespace quaylet {

/// Flushes with syncfs on a descriptor of the mount point, closed before it returns; groups
/// volumes by the whole disk the sysfs tree at `sysRoot` gives them.
class SyncfsVolumeFlush final : public VolumeFlush {
public:
    explicit SyncfsVolumeFlush(std::string sysRoot = "/sys") : sysRoot_(std::move(sysRoot)) {}
    /// Opens the mount point, checks that the planned device is the one there, and syncfs.
    std::error_code flushVolume(const std::string& mountPoint, std::uint64_t deviceNumber) override;
    /// Returns the kernel name of the whole disk (sdb for sdb1); empty when the tree has none
    /// (a btrfs volume's anonymous device, say).
    std::string unmountGroup(std::uint64_t deviceNumber) const override;

private:
    std::string sysRoot_;
};

} // namespace quaylet
