// StorageUsage: what the system's block devices carry right now (mounts, swap, loop devices)
// and how they are stacked, read independently of the volume scan.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/mount_table.h"

namespace quaylet {

/// One block device and what stands on it.
struct BlockDeviceUse {
    std::string name;                    ///< Its name (sdb1, dm-0, loop3; disk4s1 in snapshots).
    std::vector<std::string> holders;    ///< Devices stacked directly on it, its partitions, and
                                         ///< the other members of a file system spanning it.
    std::string backingFile;             ///< An attached loop device's image file; else empty.
    std::uint64_t backingFileDevice = 0; ///< The file system its image lies on; 0 unknown.

    friend bool operator==(const BlockDeviceUse&, const BlockDeviceUse&) = default;
};

/// One mounted file system and the block devices it comes from.
struct MountedFileSystemUse {
    std::string devicePath;           ///< Source as the mount table gives it.
    std::string mountPoint;           ///< Where it is mounted.
    std::vector<std::string> devices; ///< Names of the block devices it comes from; empty when
                                      ///< it comes from none (tmpfs, network shares).
    std::uint64_t deviceNumber = 0;   ///< The table's device number of it; 0 when none.

    friend bool operator==(const MountedFileSystemUse&, const MountedFileSystemUse&) = default;
};

/// One active swap area.
struct SwapUse {
    std::string path;   ///< The swap device's node or the swap file, as the system lists it.
    std::string device; ///< Name of the block device when it is one; empty for a swap file.
    std::uint64_t fileDevice = 0; ///< For a swap file, the file system it lies on; 0 unknown.

    friend bool operator==(const SwapUse&, const SwapUse&) = default;
};

/// Everything read in one go. Lists keep the system's order (block devices by name).
struct StorageUsageReport {
    std::vector<BlockDeviceUse> devices;
    std::vector<MountedFileSystemUse> mounts;
    std::vector<SwapUse> swaps;
    std::vector<std::string> nfsExports; ///< Folders exported over NFS; none when not serving.
    std::string unreadable; ///< The first source that could not be read; empty when all were.
};

/// The system's view of its storage in use.
class StorageUsage {
public:
    virtual ~StorageUsage() = default;
    /// Reads the block devices, the mount table and the active swap areas afresh; a source
    /// that cannot be read is named in `unreadable` and left empty.
    virtual StorageUsageReport read() const = 0;
    /// As read(), but takes the mount table from `mounts`, a read of it just made (empty:
    /// unreadable). A source that reads no mount table of its own reads as read() does.
    virtual StorageUsageReport readWithMounts(const std::vector<MountEntry>& /*mounts*/) const {
        return read();
    }
    /// As readWithMounts, but the block devices may be narrowed to those that attach disk
    /// images (with their backing files) and what stands on them: for a search of the images
    /// attached from a volume.
    virtual StorageUsageReport readImagesWithMounts(const std::vector<MountEntry>& mounts) const {
        return readWithMounts(mounts);
    }
};

/// Storage usage held in memory: what a test or snapshot says, nothing in use by default.
class MemoryStorageUsage final : public StorageUsage {
public:
    explicit MemoryStorageUsage(StorageUsageReport report = {}) : report_(std::move(report)) {}
    /// Returns the report given last.
    StorageUsageReport read() const override { return report_; }
    /// Replaces the report returned from now on.
    void set(StorageUsageReport report) { report_ = std::move(report); }

private:
    StorageUsageReport report_;
};

} // namespace quaylet
