// SysfsBlockStacks: block devices stacked over others (device-mapper, md, multi-device btrfs,
// NVMe multipath) and the devices at the bottom of each stack, read from a sysfs tree.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quaylet {

/// Follows the kernel's stacking links of a sysfs tree (default /sys): a device's `slaves/`
/// and `holders/`, the member lists of mounted btrfs file systems (fs/btrfs/FSID/devices), and
/// the per-controller paths of an NVMe namespace reached over several controllers.
class SysfsBlockStacks {
public:
    /// Makes a reader of the sysfs tree rooted at `sysRoot`.
    explicit SysfsBlockStacks(std::string sysRoot = "/sys");

    /// Returns the kernel names of the devices at the bottom of every stack block device `name`
    /// takes part in: the leaves below it through `slaves/` and NVMe paths, and, when it is a
    /// member of a multi-device btrfs, the leaves below every other member too. A device that
    /// is stacked on nothing is its own leaf. Sorted by name, no repeats; empty when the device
    /// is unknown.
    std::vector<std::string> leaves(std::string_view name) const;

    /// Returns the kernel names of the devices stacked directly on block device `name` (its
    /// `holders/`), and of the other members of a btrfs it is a member of; empty when none.
    std::vector<std::string> holders(std::string_view name) const;

    /// Returns the holders of each of `names`, as holders() gives them, in the same order; the
    /// mounted btrfs file systems are listed once for all of them.
    std::vector<std::vector<std::string>>
    holdersOfEach(const std::vector<std::string>& names) const;

    /// Returns every block device name of the tree (class/block), sorted by name; empty when
    /// the listing cannot be read.
    std::vector<std::string> blockDevices() const;

private:
    /// The member lists of the mounted multi-device btrfs file systems.
    using BtrfsMembers = std::vector<std::vector<std::string>>;

    std::vector<std::string> below(const std::string& name) const;
    BtrfsMembers btrfsMembers() const;
    std::vector<std::string> btrfsPeers(const std::string& name) const;
    static std::vector<std::string> peersIn(const BtrfsMembers& filesystems,
                                            const std::string& name);
    std::vector<std::string> holdersAmong(const std::string& device,
                                          const BtrfsMembers& filesystems) const;
    std::vector<std::string> nvmePaths(const std::string& name) const;
    bool isBlockDevice(const std::string& name) const;

    std::string sysRoot_;
};

} // namespace quaylet
