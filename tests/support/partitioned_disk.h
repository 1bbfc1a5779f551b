// PartitionedDisk: a partitioned loop disk with an ext2 file system mounted per partition.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/support/attached_loop_device.h"
#include "tests/support/mounted_file_system.h"

namespace quaylet::testing {

/// A disk image with equal partitions, attached by hand, each partition mounted. Destroyed in
/// the right order: every partition unmounted, then the loop device detached.
class PartitionedDisk {
public:
    /// Creates `imageFile` of `sizeMiB`, writes a DOS partition table with one partition per
    /// mount point, attaches it, and mounts partition i at `mountPoints[i]`; null, with `error`
    /// saying why, when a step fails.
    static std::unique_ptr<PartitionedDisk> create(const std::string& imageFile, unsigned sizeMiB,
                                                   const std::vector<std::string>& mountPoints,
                                                   std::string& error);
    PartitionedDisk(const PartitionedDisk&) = delete;
    PartitionedDisk& operator=(const PartitionedDisk&) = delete;
    ~PartitionedDisk();

    /// Returns the loop device of the whole disk.
    const AttachedLoopDevice& loop() const { return loop_; }
    /// Returns the mounts, in partition order.
    const std::vector<MountedFileSystem>& partitions() const { return partitions_; }

private:
    explicit PartitionedDisk(AttachedLoopDevice loop) : loop_(std::move(loop)) {}

    AttachedLoopDevice loop_;
    std::vector<MountedFileSystem> partitions_;
};

} // namespace quaylet::testing
