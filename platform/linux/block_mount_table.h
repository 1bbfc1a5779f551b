// BlockMount: a mounted file system with the block device it comes from, for the disk tool.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/linux/libmount_mount_table.h"

namespace quaylet {

/// One mount of the mount table, with what unmounting a whole disk needs to know.
struct BlockMount {
    std::string source;                 ///< Source as the table gives it (/dev/sdb1).
    std::string target;                 ///< Mount point, decoded.
    std::uint64_t device = 0;           ///< Number of the block device it comes from; 0 when none.
    bool mountedByUdisks = false;       ///< Mounted by udisks (uhelper=udisks2, or under /media).
    std::uint64_t fileSystemDevice = 0; ///< The file system's number as the table gives it.
    int mountId = 0;                    ///< The kernel's id of the mount; 0 when unknown.

    friend bool operator==(const BlockMount&, const BlockMount&) = default;
};

/// Reads the mount table at `mountInfoPath` with libmount's userspace options merged in;
/// returns its mounts in table order, empty when it cannot be read.
std::vector<BlockMount> readBlockMounts(const std::string& mountInfoPath = kMountInfoPath);

} // namespace quaylet
