// bootWholeDisks: the disks the running system's root file system lives on, through stacks.
#pragma once

#include <string>
#include <vector>

#include "platform/linux/block_mount_table.h"

namespace quaylet {

/// Returns the kernel names (sorted, each once) of the whole disks under the root file system
/// of `mounts`: the disk of its block device, or, when root is on device-mapper (LUKS, LVM),
/// md or a multi-device btrfs, every disk at the bottom of that stack. Read from the sysfs
/// tree at `sysRoot`. Empty when no mount at "/" comes from a block device of the tree.
std::vector<std::string> bootWholeDisks(const std::vector<BlockMount>& mounts,
                                        const std::string& sysRoot = "/sys");

} // namespace quaylet
