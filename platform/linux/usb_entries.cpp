// DeviceTreeBuilder, USB part: controller ports, devices, hub drivers, hub ports, locationIDs.
#include <algorithm>
#include <bitset>
#include <map>

#include "platform/linux/device_tree_builder.h"
#include "platform/linux/sysfs_reader.h"

namespace quaylet {
namespace {

constexpr std::uint32_t kHubDeviceClass = 0x09;
constexpr std::uint32_t kSuperSpeed = 5000;
constexpr std::size_t kMaximumTiers = 6;
constexpr std::uint32_t kMaximumPortDigit = 15;

/// A USB device's bus and port path, from a name such as 3-1.4.7 (bus 3, ports 1, 4, 7).
struct PortPath {
    std::uint32_t bus = 0;
    std::vector<std::uint32_t> tiers;
};

std::optional<PortPath> parseDeviceName(std::string_view name) {
    const std::size_t dash = name.find('-');
    const auto bus = sysfs::parseNumber(name.substr(0, dash), 10);
    if (dash == std::string_view::npos || !bus) {
        return std::nullopt;
    }
    PortPath path{static_cast<std::uint32_t>(*bus), {}};
    std::string_view rest = name.substr(dash + 1);
    while (!rest.empty()) {
        const std::size_t dot = rest.find('.');
        const auto port = sysfs::parseNumber(rest.substr(0, dot), 10);
        if (!port) {
            return std::nullopt;
        }
        path.tiers.push_back(static_cast<std::uint32_t>(*port));
        rest = dot == std::string_view::npos ? std::string_view() : rest.substr(dot + 1);
    }
    return path;
}

/// The port path of a port directory such as usb3-port1 (bus 3, port 1) or 3-1.4-port2.
std::optional<PortPath> parsePortName(std::string_view name) {
    const std::size_t marker = name.rfind("-port");
    if (marker == std::string_view::npos) {
        return std::nullopt;
    }
    const auto number = sysfs::parseNumber(name.substr(marker + 5), 10);
    if (!number) {
        return std::nullopt;
    }
    const std::string_view hub = name.substr(0, marker);
    std::optional<PortPath> path;
    if (hub.starts_with("usb")) {
        if (const auto bus = sysfs::parseNumber(hub.substr(3), 10)) {
            path = PortPath{static_cast<std::uint32_t>(*bus), {}};
        }
    } else {
        path = parseDeviceName(hub);
    }
    if (path) {
        path->tiers.push_back(static_cast<std::uint32_t>(*number));
    }
    return path;
}

/// One controller byte, then one hex digit per tier, highest tier first. 0 when a port number
/// does not fit in a digit or the path is too deep: a 0 never equals a candidate port and
/// yields no candidates, whereas a cut path would name another port. Such a device is still
/// judged by the dock IDs and the hubs on its path, which need no location.
std::uint32_t encodeLocation(std::uint32_t controllerByte,
                             const std::vector<std::uint32_t>& tiers) {
    if (tiers.size() > kMaximumTiers) {
        return 0;
    }
    std::uint32_t location = controllerByte << 24;
    for (std::size_t tier = 0; tier < tiers.size(); ++tier) {
        if (tiers[tier] == 0 || tiers[tier] > kMaximumPortDigit) {
            return 0;
        }
        location |= tiers[tier] << (20 - 4 * tier);
    }
    return location;
}

/// The numbers of a uevent value such as 2109/822/9013.
std::vector<std::uint32_t> splitNumbers(std::string_view text, int base) {
    std::vector<std::uint32_t> numbers;
    while (!text.empty()) {
        const std::size_t slash = text.find('/');
        numbers.push_back(static_cast<std::uint32_t>(
            sysfs::parseNumber(text.substr(0, slash), base).value_or(0)));
        text = slash == std::string_view::npos ? std::string_view() : text.substr(slash + 1);
    }
    return numbers;
}

std::uint32_t numberAttribute(const std::optional<std::string>& text, int base) {
    return static_cast<std::uint32_t>(sysfs::parseNumber(text.value_or(""), base).value_or(0));
}

} // namespace

void DeviceTreeBuilder::addUsbEntry(const std::string& devicePath, TreeNodeIndex parent) {
    const std::string_view name = sysfs::baseName(devicePath);
    if (name.starts_with("usb") && sysfs::parseNumber(name.substr(3), 10)) {
        addRootHub(devicePath, parent);
    } else if (name.find(':') != std::string_view::npos) {
        addUsbInterface(devicePath, parent);
    } else {
        addUsbDevice(devicePath, parent, attribute(devicePath, "uevent").value_or(""));
    }
}

// A root hub is no entry of its own: its ports hang from the host controller's driver entry,
// as the ports of a controller do.
void DeviceTreeBuilder::addRootHub(const std::string& devicePath, TreeNodeIndex parent) {
    const std::string_view name = sysfs::baseName(devicePath);
    const std::string hostPath(sysfs::parentPath(devicePath));
    TreeNodeIndex controller = kNoTreeNode;
    if (const auto found = controllerOfDevice_.find(hostPath); found != controllerOfDevice_.end()) {
        controller = found->second;
    } else {
        const bool xhci = sysfs::baseName(hostPath).find("xhci") != std::string_view::npos;
        controller = addUsbHostController(
            hostPath, parent,
            xhci ? RegistryClass::AppleUSBXHCI : RegistryClass::AppleUSBHostController, 0);
    }
    const auto bus = static_cast<std::uint32_t>(sysfs::parseNumber(name.substr(3), 10).value_or(0));
    rootHubs_[bus] = RootHub{controller, numberAttribute(attribute(devicePath, "speed"), 10)};
    attach_[devicePath] = controller;
}

void DeviceTreeBuilder::addUsbInterface(const std::string& devicePath, TreeNodeIndex parent) {
    const std::string_view name = sysfs::baseName(devicePath);
    const std::string deviceName(name.substr(0, name.find(':')));
    if (deviceName.ends_with("-0")) {
        // The root hub's interface: its ports belong to the controller entry.
        attach_[devicePath] = parent;
        addPortsBelow(devicePath);
        return;
    }
    const auto hub = hubSpeeds_.find(deviceName);
    if (hub == hubSpeeds_.end()) {
        attach_[devicePath] =
            addNode(RegistryClass::IOUSBHostInterface, devicePath, "", parent, name);
        return;
    }
    // The hub's interface is where the hub driver binds: it becomes the hub driver entry.
    const RegistryClass hubClass =
        hub->second >= kSuperSpeed ? RegistryClass::AppleUSB30Hub : RegistryClass::AppleUSB20Hub;
    attach_[devicePath] = addNode(hubClass, devicePath, "", parent, name);
    addPortsBelow(devicePath);
}

void DeviceTreeBuilder::addPortsBelow(const std::string& interfacePath) {
    std::vector<std::string> names = sysfs::listDirectory(root_ + interfacePath);
    std::sort(names.begin(), names.end(), sysfs::naturalLess);
    for (const std::string& name : names) {
        if (name.find("-port") != std::string::npos) {
            attachPoint(interfacePath + "/" + name, "usb_port");
        }
    }
}

void DeviceTreeBuilder::addUsbDevice(const std::string& devicePath, TreeNodeIndex parent,
                                     std::string_view uevent) {
    const std::string_view name = sysfs::baseName(devicePath);
    const TreeNodeIndex port = portOfDevice(devicePath, parent);
    const TreeNodeIndex node = addNode(RegistryClass::IOUSBHostDevice, devicePath, "", port, name);
    // PRODUCT=2109/822/9013 (hexadecimal vendor/product/release), TYPE=9/0/3 (decimal class).
    const auto product = splitNumbers(sysfs::ueventValue(uevent, "PRODUCT"), 16);
    const auto type = splitNumbers(sysfs::ueventValue(uevent, "TYPE"), 10);
    setProperty(node, "idVendor", product.size() > 0 ? product[0] : 0);
    setProperty(node, "idProduct", product.size() > 1 ? product[1] : 0);
    const std::uint32_t deviceClass = type.empty() ? 0 : type[0];
    setProperty(node, "bDeviceClass", deviceClass);
    NodeFacts& facts = facts_[static_cast<std::size_t>(node)];
    facts.subsystem = "usb";
    facts.external = true;
    facts.overUsb = true;
    if (deviceClass == kHubDeviceClass) {
        hubSpeeds_[std::string(name)] = numberAttribute(attribute(devicePath, "speed"), 10);
    }
    usbLocated_.push_back(node);
    attach_[devicePath] = node;
}

// A device hangs from the port it is plugged into (its "port" link), not from its hub device.
TreeNodeIndex DeviceTreeBuilder::portOfDevice(const std::string& devicePath,
                                              TreeNodeIndex fallback) {
    std::string portPath = resolveDeviceLink(devicePath, "port");
    if (portPath.empty()) {
        const std::string_view name = sysfs::baseName(devicePath);
        const std::size_t dot = name.rfind('.');
        const std::size_t dash = name.find('-');
        if (dash == std::string_view::npos) {
            return fallback;
        }
        const bool onRootHub = dot == std::string_view::npos;
        const std::string hub = onRootHub ? "usb" + std::string(name.substr(0, dash))
                                          : std::string(name.substr(0, dot));
        const std::string interface =
            onRootHub ? std::string(name.substr(0, dash)) + "-0:1.0" : hub + ":1.0";
        const std::string_view number = name.substr((onRootHub ? dash : dot) + 1);
        portPath = std::string(sysfs::parentPath(devicePath)) + "/" + interface + "/" + hub +
                   "-port" + std::string(number);
    }
    if (!sysfs::exists(root_ + portPath + "/uevent")) {
        return fallback;
    }
    return attachPoint(portPath, "usb_port");
}

void DeviceTreeBuilder::addUsbPort(const std::string& devicePath, TreeNodeIndex parent) {
    const std::string_view name = sysfs::baseName(devicePath);
    const std::string hub(name.substr(0, name.rfind("-port")));
    RegistryClass portClass = RegistryClass::AppleUSBHostPort;
    if (hub.starts_with("usb")) {
        const auto bus = sysfs::parseNumber(std::string_view(hub).substr(3), 10).value_or(0);
        const auto rootHub = rootHubs_.find(static_cast<std::uint32_t>(bus));
        if (registryClassConformsTo(tree_.nodes[static_cast<std::size_t>(parent)].registryClass,
                                    "AppleUSBXHCI") &&
            rootHub != rootHubs_.end()) {
            portClass = rootHub->second.speed >= kSuperSpeed ? RegistryClass::AppleUSB30XHCIPort
                                                             : RegistryClass::AppleUSB20XHCIPort;
        }
    } else if (const auto speed = hubSpeeds_.find(hub); speed != hubSpeeds_.end()) {
        portClass = speed->second >= kSuperSpeed ? RegistryClass::AppleUSB30HubPort
                                                 : RegistryClass::AppleUSB20HubPort;
    }
    const TreeNodeIndex node = addNode(portClass, devicePath, "", parent, name);
    if (const auto path = parsePortName(name)) {
        setProperty(node, "port", path->tiers.back());
    }
    usbLocated_.push_back(node);
    attach_[devicePath] = node;
}

// Each host controller gets one byte, the one it prefers when that is free (its device number
// on PCI bus 0, as 0x14 for 00:14.0, else its bus number), otherwise the next free one. Its
// USB 2 root hub uses that byte. Its SuperSpeed root hub numbers its ports on its own, and
// port K there is seldom the connector of USB 2 port K, so it gets a byte of its own (the
// controller's with the top bit set when free): a dock's USB 2 ports then never share a
// location with the computer's own SuperSpeed ports.
void DeviceTreeBuilder::assignUsbLocations() {
    std::bitset<256> used;
    used.set(0);
    const auto take = [&used](std::uint32_t preferred) {
        std::uint32_t byte = preferred & 0xFF;
        for (std::uint32_t step = 1; used.test(byte) && step < 256; ++step) {
            byte = (preferred + step) & 0xFF;
        }
        used.set(byte);
        return byte;
    };
    std::unordered_map<TreeNodeIndex, std::uint32_t> byteOfController;
    for (const Controller& controller : controllers_) {
        const std::uint32_t byte = take(controller.preferredByte);
        byteOfController[controller.node] = byte;
        setProperty(controller.node, "locationID", byte << 24);
    }
    std::map<std::uint32_t, std::uint32_t> byteOfBus;
    for (const auto& [bus, rootHub] : rootHubs_) {
        const std::uint32_t byte = byteOfController[rootHub.controller];
        byteOfBus[bus] = rootHub.speed >= kSuperSpeed ? take(byte | 0x80) : byte;
    }
    for (const TreeNodeIndex node : usbLocated_) {
        const TreeNode& entry = tree_.nodes[static_cast<std::size_t>(node)];
        const std::string_view name = sysfs::baseName(entry.key);
        const auto path = entry.registryClass == RegistryClass::IOUSBHostDevice
                              ? parseDeviceName(name)
                              : parsePortName(name);
        std::uint32_t location = 0;
        if (path) {
            const auto byte = byteOfBus.find(path->bus);
            location = encodeLocation(byte == byteOfBus.end() ? 0 : byte->second, path->tiers);
        }
        setProperty(node, "locationID", location);
    }
}

} // namespace quaylet
