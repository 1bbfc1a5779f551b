// LinuxStorageUsage: block devices, mounts and swap as sysfs, the mount table and /proc/swaps
// give them.
#pragma once

#include <string>
#include <vector>

#include "platform/linux/libmount_mount_table.h"
#include "platform/linux/linux_device_naming.h"
#include "platform/linux/sysfs_block_stacks.h"
#include "platform/storage_usage.h"

namespace quaylet {

/// The active swap areas of the running system.
inline constexpr const char* kSwapsPath = "/proc/swaps";
/// Where the NFS server's exports are listed: the export table of nfs-utils, else the kernel's.
inline const std::vector<std::string> kExportLists{"/var/lib/nfs/etab", "/proc/fs/nfs/exports"};

/// Reads the block devices of the sysfs tree at `sysfsRoot` (the registry's tree, so that a
/// copied tree is read as the registry reads it), the mount table through libmount, the swap
/// list, and the NFS exports of the first of the export lists that exists. Mount and swap
/// sources are matched to the tree's devices as `nodes` says.
class LinuxStorageUsage final : public StorageUsage {
public:
    LinuxStorageUsage(std::string sysfsRoot, MountSourceNodes nodes,
                      std::string mountInfoPath = kMountInfoPath,
                      std::string swapsPath = kSwapsPath,
                      std::vector<std::string> exportLists = kExportLists);

    /// Reads all three sources afresh; names the first one that could not be read.
    StorageUsageReport read() const override;
    StorageUsageReport readWithMounts(const std::vector<MountEntry>& mounts) const override;
    /// Reads only the loop devices among the block devices.
    StorageUsageReport readImagesWithMounts(const std::vector<MountEntry>& mounts) const override;

private:
    bool readDevices(StorageUsageReport& report, bool loopsOnly) const;
    StorageUsageReport readAll(const std::vector<MountEntry>* mounts, bool loopsOnly = false) const;
    bool readMounts(StorageUsageReport& report, const std::vector<MountEntry>& entries) const;
    bool readSwaps(StorageUsageReport& report) const;
    void readExports(StorageUsageReport& report) const;

    std::string sysfsRoot_;
    LinuxDeviceNaming naming_;
    SysfsBlockStacks stacks_;
    LibmountMountTable mountTable_;
    std::string swapsPath_;
    std::vector<std::string> exportLists_;
};

} // namespace quaylet
