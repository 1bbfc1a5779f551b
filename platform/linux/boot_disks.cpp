// The boot disks: the whole disks at the bottom of the stack the root file system is on.
#include "platform/linux/boot_disks.h"

#include <algorithm>

#include "platform/linux/sysfs_block_devices.h"
#include "platform/linux/sysfs_block_stacks.h"

namespace quaylet {

std::vector<std::string> bootWholeDisks(const std::vector<BlockMount>& mounts,
                                        const std::string& sysRoot) {
    const SysfsBlockDevices devices(sysRoot);
    const SysfsBlockStacks stacks(sysRoot);
    std::vector<std::string> disks;
    // Every mount at "/" counts: the one the system booted with may lie under a later one.
    for (const BlockMount& mount : mounts) {
        if (mount.target != "/" || mount.device == 0) {
            continue;
        }
        const auto name = devices.deviceName(mount.device);
        if (!name) {
            continue;
        }
        for (const std::string& leaf : stacks.leaves(*name)) {
            if (const auto names = devices.namesOfKernelName(leaf)) {
                disks.push_back(names->wholeDisk);
            }
        }
    }
    std::sort(disks.begin(), disks.end());
    disks.erase(std::unique(disks.begin(), disks.end()), disks.end());
    return disks;
}

} // namespace quaylet
