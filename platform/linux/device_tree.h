// DeviceTree: one snapshot of the kernel's devices, shaped as registry entries.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/linux/registry_class.h"
#include "platform/property_value.h"

namespace quaylet {

/// Index of an entry in a DeviceTree; kNoTreeNode means none.
using TreeNodeIndex = std::int32_t;
inline constexpr TreeNodeIndex kNoTreeNode = -1;

/// One registry entry. Several entries may stand for one kernel device (a PCI bridge and its
/// bridge driver, an xHCI function and its controller driver); they share `devicePath`.
struct TreeNode {
    RegistryClass registryClass = RegistryClass::IOService;
    std::string devicePath; ///< The kernel device's path below the tree's root (/devices/...).
    std::string key; ///< Unique in the tree: the device path, plus "#role" for derived entries.
    PropertyDictionary properties;
    TreeNodeIndex parent = kNoTreeNode;
    std::vector<TreeNodeIndex> children; ///< In registry order.
};

/// A frozen snapshot of registry entries. Entry 0 is the root.
struct DeviceTree {
    std::vector<TreeNode> nodes;
    std::vector<TreeNodeIndex> registryOrder; ///< Every entry, parents before children.
    std::unordered_map<std::string, TreeNodeIndex> mediaByName; ///< Kernel block name to media.
    std::unordered_map<std::string, TreeNodeIndex> nodeByKey;
    std::optional<std::uint64_t> eventSequence; ///< The kernel's uevent count when read.

    /// Returns the media entry of the block device `name` (sdb1, dm-0), or kNoTreeNode.
    TreeNodeIndex media(std::string_view name) const {
        const auto found = mediaByName.find(std::string(name));
        return found == mediaByName.end() ? kNoTreeNode : found->second;
    }
};

} // namespace quaylet
