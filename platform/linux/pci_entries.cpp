// DeviceTreeBuilder, PCI part: functions, bridge drivers, tunnels and USB host controllers.
#include "platform/linux/device_tree_builder.h"
#include "platform/linux/sysfs_reader.h"

namespace quaylet {
namespace {

constexpr std::uint32_t kPciBridgeClass = 0x0604;
constexpr std::uint32_t kPciSubtractiveBridgeClass = 0x0609;
constexpr std::uint32_t kUsbControllerClass = 0x0c03;
constexpr std::uint32_t kXhciClassCode = 0x0c0330;
constexpr std::uint32_t kFrescoLogicVendor = 0x1b73;
constexpr std::uint32_t kFL1100Device = 0x1100;

PropertyData littleEndian32(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

/// The controller byte a PCI function would like: its device number on bus 0 (00:14.0 gives
/// 0x14), else its bus number. A name that is no PCI address gives 0 (any free byte).
std::uint32_t preferredControllerByte(std::string_view address) {
    // Address form: DDDD:BB:DD.F
    if (address.size() < 12 || address[4] != ':' || address[7] != ':') {
        return 0;
    }
    const auto bus = sysfs::parseNumber(address.substr(5, 2), 16).value_or(0);
    const auto device = sysfs::parseNumber(address.substr(8, 2), 16).value_or(0);
    return static_cast<std::uint32_t>(bus == 0 ? device : bus);
}

/// A PCI function's class and IDs, from its uevent (PCI_CLASS=C0330, PCI_ID=1B73:1100).
struct PciIdentity {
    std::uint32_t classCode = 0;
    std::uint32_t vendor = 0;
    std::uint32_t device = 0;
};

PciIdentity pciIdentity(std::string_view uevent) {
    const auto hex = [](std::string_view text) {
        return static_cast<std::uint32_t>(sysfs::parseNumber(text, 16).value_or(0));
    };
    const std::string_view identity = sysfs::ueventValue(uevent, "PCI_ID");
    const std::size_t colon = identity.find(':');
    return PciIdentity{hex(sysfs::ueventValue(uevent, "PCI_CLASS")), hex(identity.substr(0, colon)),
                       colon == std::string_view::npos ? 0 : hex(identity.substr(colon + 1))};
}

/// The driver class of a USB host controller function; nullopt for other functions. UHCI,
/// OHCI, EHCI and xHCI count; a USB4 host interface (0x0c0340) is no USB controller.
std::optional<RegistryClass> usbControllerClass(const PciIdentity& identity) {
    if ((identity.classCode >> 8) != kUsbControllerClass ||
        (identity.classCode & 0xFF) > (kXhciClassCode & 0xFF)) {
        return std::nullopt;
    }
    if (identity.classCode != kXhciClassCode) {
        return RegistryClass::AppleUSBHostController;
    }
    return identity.vendor == kFrescoLogicVendor && identity.device == kFL1100Device
               ? RegistryClass::AppleUSBXHCIFL1100
               : RegistryClass::AppleUSBXHCIPCI;
}

} // namespace

void DeviceTreeBuilder::addPciFunction(const std::string& devicePath, TreeNodeIndex parent,
                                       std::string_view uevent) {
    const std::string_view name = sysfs::baseName(devicePath);
    const PciIdentity identity = pciIdentity(uevent);
    const std::uint32_t classCode = identity.classCode;
    const TreeNodeIndex parentPci = facts_[static_cast<std::size_t>(parent)].pciDevice;

    const TreeNodeIndex node = addNode(RegistryClass::IOPCIDevice, devicePath, "", parent, name);
    setProperty(node, "vendor-id", littleEndian32(identity.vendor));
    setProperty(node, "device-id", littleEndian32(identity.device));
    setProperty(node, "class-code", littleEndian32(classCode));
    NodeFacts& facts = facts_[static_cast<std::size_t>(node)];
    facts.subsystem = "pci";
    facts.pciDevice = node;
    facts.bridge =
        (classCode >> 8) == kPciBridgeClass || (classCode >> 8) == kPciSubtractiveBridgeClass;
    // A function below one of a domain's tunnel ports is tunnelled, whatever `removable` says
    // (kernels before 5.12 have no such attribute). Otherwise the kernel's mark is trusted, as
    // is the parent's (kernels that mark only the first function), except inside a discrete
    // host router: firmware that calls the root port above it external-facing has the kernel
    // mark the host router's own switch, host interface and xHCI removable.
    const NodeFacts* above =
        parentPci == kNoTreeNode ? nullptr : &facts_[static_cast<std::size_t>(parentPci)];
    const int domain = thunderbolt_.domainBelowTunnelPort(devicePath);
    const auto removable = [&] {
        return attribute(devicePath, "removable") == "removable";
    };
    facts.tunnelled = domain >= 0 || (!thunderbolt_.isHostRouterFunction(devicePath) &&
                                      ((above != nullptr && above->tunnelled) || removable()));
    facts.domain = domain >= 0 ? domain : (above != nullptr ? above->domain : -1);
    if (facts.tunnelled) {
        facts.external = true;
        setProperty(node, "IOPCITunnelled", true);
        markTunnelPosition(node, parentPci);
    }

    if (facts_[static_cast<std::size_t>(node)].bridge) {
        attach_[devicePath] =
            addNode(RegistryClass::IOPCI2PCIBridge, devicePath, "driver", node, name);
    } else {
        attach_[devicePath] = node;
    }
    if (const auto controllerClass = usbControllerClass(identity)) {
        addUsbHostController(devicePath, node, *controllerClass, preferredControllerByte(name));
    }
}

// Inside a tunnel every PCIe switch is an upstream port whose children are downstream ports,
// and a downstream port leads to an endpoint or to the upstream port of the next switch. So
// along a path of tunnelled functions, upstream ports and downstream ports alternate. A tunnel
// head is the first tunnelled function on a path, or an upstream port (a bridge) below a
// downstream port: the far end of a tunnel chained behind another.
void DeviceTreeBuilder::markTunnelPosition(TreeNodeIndex node, TreeNodeIndex parentPci) {
    NodeFacts& facts = facts_[static_cast<std::size_t>(node)];
    const NodeFacts* above =
        parentPci == kNoTreeNode ? nullptr : &facts_[static_cast<std::size_t>(parentPci)];
    int depth = 0;
    if (above == nullptr || !above->tunnelled) {
        depth = 1;
    } else if (!above->oddTunnelPosition) {
        facts.oddTunnelPosition = true;
    } else if (facts.bridge) {
        depth = above->chainDepth + 1;
    }
    if (depth > 0) {
        tunnelHeads_.push_back(TunnelHead{node, facts.tunnelHead, depth, facts.domain});
        facts.tunnelHead = node;
        facts.chainDepth = depth;
    }
}

TreeNodeIndex DeviceTreeBuilder::addUsbHostController(const std::string& devicePath,
                                                      TreeNodeIndex parent,
                                                      RegistryClass registryClass,
                                                      std::uint32_t preferredByte) {
    const TreeNodeIndex controller =
        addNode(registryClass, devicePath, "controller", parent, sysfs::baseName(devicePath));
    controllerOfDevice_[devicePath] = controller;
    controllers_.push_back(Controller{controller, preferredByte});
    return controller;
}

} // namespace quaylet
