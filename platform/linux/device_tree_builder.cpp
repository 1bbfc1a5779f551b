// DeviceTreeBuilder: reads a sysfs tree and shapes its devices as registry entries.
#include "platform/linux/device_tree_builder.h"

#include <algorithm>

#include <fcntl.h>

#include "platform/linux/sysfs_reader.h"

namespace quaylet {
namespace {

constexpr std::string_view kDevicesPath = "/devices";

/// A PCI host bridge directory such as pci0000:00.
bool isPciHostBridge(std::string_view name) {
    return name.size() == 10 && name.starts_with("pci") && name[7] == ':';
}

/// How many device directories a build keeps open at most; past it they are closed and
/// opened again as needed, so that a very large tree cannot run out of descriptors.
constexpr std::size_t kOpenDirectoryLimit = 512;

/// The kind given to USB port directories, which belong to no subsystem.
constexpr std::string_view kUsbPortKind = "usb_port";

/// A USB port directory such as usb3-port1 or 3-1.4-port2.
bool isUsbPortName(std::string_view name) {
    const std::size_t marker = name.rfind("-port");
    return marker != std::string_view::npos && marker > 0 &&
           sysfs::parseNumber(name.substr(marker + 5), 10).has_value();
}

} // namespace

DeviceTree buildDeviceTree(const std::string& root) {
    return DeviceTreeBuilder(root).build();
}

DeviceTreeBuilder::DeviceTreeBuilder(std::string root)
    : root_(sysfs::normalRoot(std::move(root))) {}

DeviceTree DeviceTreeBuilder::build() {
    if (const auto sequence = sysfs::readAttribute(root_ + "/kernel/uevent_seqnum")) {
        tree_.eventSequence = sysfs::parseNumber(*sequence, 10);
    }
    const std::string devices(kDevicesPath);
    attach_[devices] =
        addNode(RegistryClass::IOPlatformExpertDevice, devices, "", kNoTreeNode, "Linux");
    // Read first: it decides which PCI functions are tunnelled as they are made.
    thunderbolt_ = readThunderboltTopology(root_);
    addBusDevices("/bus/pci/devices", "pci");
    addBusDevices("/bus/usb/devices", "usb");
    addBusDevices("/class/block", "block");
    assignUsbLocations();
    pairTunnelEndpoints();
    finish();
    return std::move(tree_);
}

void DeviceTreeBuilder::addBusDevices(std::string_view listing, std::string_view subsystem) {
    const std::string directory = root_ + std::string(listing);
    std::vector<std::string> names = sysfs::listDirectory(directory);
    std::sort(names.begin(), names.end(), sysfs::naturalLess);
    const UniqueFd links(::open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    for (const std::string& name : names) {
        const auto target = sysfs::readLinkAt(links.get(), name.c_str());
        if (!target) {
            continue;
        }
        const std::string resolved = sysfs::resolveLink(directory, *target);
        if (sysfs::isSameOrBelow(resolved, root_ + std::string(kDevicesPath))) {
            attachPoint(resolved.substr(root_.size()), subsystem);
        }
    }
}

TreeNodeIndex DeviceTreeBuilder::attachPoint(const std::string& devicePath,
                                             std::string_view subsystem) {
    if (const auto found = attach_.find(devicePath); found != attach_.end()) {
        return found->second;
    }
    if (!sysfs::isSameOrBelow(devicePath, kDevicesPath)) {
        return 0;
    }
    const TreeNodeIndex parent = attachPoint(std::string(sysfs::parentPath(devicePath)));
    // Making the parent may have made this device too (a hub's interface makes its ports).
    if (const auto found = attach_.find(devicePath); found != attach_.end()) {
        return found->second;
    }
    // Set before the device is made, so that a path met again while it is being made (a loop
    // of links) ends here instead of recursing.
    attach_[devicePath] = parent;
    if (!subsystem.empty()) {
        createDevice(devicePath, parent, subsystem);
    } else if (const auto link = readLinkIn(devicePath, "subsystem")) {
        createDevice(devicePath, parent, sysfs::baseName(*link));
    } else if (isUsbPortName(sysfs::baseName(devicePath))) {
        createDevice(devicePath, parent, kUsbPortKind);
    } else if (existsIn(devicePath, "uevent")) {
        createDevice(devicePath, parent, "");
    }
    // Otherwise a directory of the device model (block, nvme): its children hang from above.
    return attach_[devicePath];
}

void DeviceTreeBuilder::createDevice(const std::string& devicePath, TreeNodeIndex parent,
                                     std::string_view subsystem) {
    const std::string_view name = sysfs::baseName(devicePath);
    if (subsystem == kUsbPortKind) {
        addUsbPort(devicePath, parent);
    } else if (subsystem == "pci") {
        addPciFunction(devicePath, parent, attribute(devicePath, "uevent").value_or(""));
    } else if (subsystem == "usb") {
        addUsbEntry(devicePath, parent);
    } else if (subsystem == "block") {
        addBlockDevice(devicePath, parent, attribute(devicePath, "uevent").value_or(""));
    } else {
        const bool hostBridge = parent == 0 && isPciHostBridge(name);
        const TreeNodeIndex node =
            addNode(hostBridge ? RegistryClass::AppleACPIPCI : RegistryClass::IOService, devicePath,
                    "", parent, name);
        facts_[static_cast<std::size_t>(node)].subsystem = std::string(subsystem);
        attach_[devicePath] = node;
    }
}

TreeNodeIndex DeviceTreeBuilder::addNode(RegistryClass registryClass, const std::string& devicePath,
                                         std::string_view role, TreeNodeIndex parent,
                                         std::string_view name) {
    const auto index = static_cast<TreeNodeIndex>(tree_.nodes.size());
    TreeNode node;
    node.registryClass = registryClass;
    node.devicePath = devicePath;
    node.key = role.empty() ? devicePath : devicePath + "#" + std::string(role);
    node.parent = parent;
    node.properties.emplace("IOName", std::string(name));
    NodeFacts facts;
    if (parent != kNoTreeNode) {
        const NodeFacts& inherited = facts_[static_cast<std::size_t>(parent)];
        facts.external = inherited.external;
        facts.overUsb = inherited.overUsb;
        facts.pciDevice = inherited.pciDevice;
        facts.tunnelHead = inherited.tunnelHead;
        facts.chainDepth = inherited.chainDepth;
        tree_.nodes[static_cast<std::size_t>(parent)].children.push_back(index);
    }
    tree_.nodeByKey.emplace(node.key, index);
    tree_.nodes.push_back(std::move(node));
    facts_.push_back(std::move(facts));
    return index;
}

void DeviceTreeBuilder::setProperty(TreeNodeIndex node, std::string key, PropertyValue value) {
    tree_.nodes[static_cast<std::size_t>(node)].properties.insert_or_assign(std::move(key),
                                                                            std::move(value));
}

std::optional<std::string> DeviceTreeBuilder::attribute(const std::string& devicePath,
                                                        std::string_view name) const {
    const Place place = placeOf(devicePath, name);
    return sysfs::readAttributeAt(place.directory, place.relative.c_str());
}

std::optional<std::string> DeviceTreeBuilder::readLinkIn(const std::string& devicePath,
                                                         std::string_view link) const {
    const Place place = placeOf(devicePath, link);
    return sysfs::readLinkAt(place.directory, place.relative.c_str());
}

bool DeviceTreeBuilder::existsIn(const std::string& devicePath, std::string_view name) const {
    const Place place = placeOf(devicePath, name);
    return sysfs::existsAt(place.directory, place.relative.c_str());
}

// Most devices are read once and have nothing read below them: their names are reached through
// the parent's open directory, which saves opening and closing one of their own.
DeviceTreeBuilder::Place DeviceTreeBuilder::placeOf(const std::string& devicePath,
                                                    std::string_view name) const {
    if (const auto own = directories_.find(devicePath); own != directories_.end()) {
        return {own->second.get(), std::string(name)};
    }
    if (const auto parent = directories_.find(std::string(sysfs::parentPath(devicePath)));
        parent != directories_.end() && parent->second) {
        std::string relative(sysfs::baseName(devicePath));
        relative += '/';
        relative += name;
        return {parent->second.get(), std::move(relative)};
    }
    return {directoryOf(devicePath), std::string(name)};
}

int DeviceTreeBuilder::directoryOf(const std::string& devicePath) const {
    if (const auto found = directories_.find(devicePath); found != directories_.end()) {
        return found->second.get();
    }
    if (directories_.size() >= kOpenDirectoryLimit) {
        directories_.clear();
    }
    // The directories from here up to the nearest open one are opened top down, each relative
    // to the one above: their devices' children are read next.
    std::vector<std::string> unopened{devicePath};
    int base = -1;
    for (std::string_view path = sysfs::parentPath(devicePath);
         sysfs::isSameOrBelow(path, kDevicesPath); path = sysfs::parentPath(path)) {
        if (const auto found = directories_.find(std::string(path)); found != directories_.end()) {
            base = found->second.get();
            break;
        }
        unopened.emplace_back(path);
    }
    constexpr int kFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    for (auto path = unopened.rbegin(); path != unopened.rend(); ++path) {
        const std::string name(sysfs::baseName(*path));
        UniqueFd directory(base >= 0 ? ::openat(base, name.c_str(), kFlags)
                                     : ::open((root_ + *path).c_str(), kFlags));
        base = directory.get();
        directories_.emplace(std::move(*path), std::move(directory));
    }
    return base;
}

std::string DeviceTreeBuilder::resolveDeviceLink(const std::string& devicePath,
                                                 std::string_view link) const {
    const std::string linkPath = root_ + devicePath + "/" + std::string(link);
    const auto target = readLinkIn(devicePath, link);
    if (!target) {
        return {};
    }
    const std::string resolved = sysfs::resolveLink(sysfs::parentPath(linkPath), *target);
    return sysfs::isSameOrBelow(resolved, root_ + std::string(kDevicesPath))
               ? resolved.substr(root_.size())
               : std::string();
}

void DeviceTreeBuilder::finish() {
    const auto sortKey = [this](TreeNodeIndex index) -> std::string_view {
        return sysfs::baseName(tree_.nodes[static_cast<std::size_t>(index)].key);
    };
    for (TreeNode& node : tree_.nodes) {
        std::stable_sort(node.children.begin(), node.children.end(),
                         [&](TreeNodeIndex a, TreeNodeIndex b) {
                             return sysfs::naturalLess(sortKey(a), sortKey(b));
                         });
    }
    std::vector<TreeNodeIndex> pending{0};
    while (!pending.empty()) {
        const TreeNodeIndex index = pending.back();
        pending.pop_back();
        tree_.registryOrder.push_back(index);
        const auto& children = tree_.nodes[static_cast<std::size_t>(index)].children;
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
}

} // namespace quaylet
