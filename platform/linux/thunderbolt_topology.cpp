// ThunderboltTopology: the Thunderbolt/USB4 domains, their routers and the PCIe ports they own.
#include "platform/linux/thunderbolt_topology.h"

#include <algorithm>
#include <bit>
#include <optional>
#include <tuple>

#include "platform/linux/sysfs_reader.h"

namespace quaylet {
namespace {

constexpr std::string_view kDevicesPath = "/devices";
constexpr std::string_view kConsumerPrefix = "consumer:pci:";
constexpr std::uint32_t kPciBridgeClass = 0x0604;
constexpr std::uint32_t kUsbControllerClass = 0x0c03;

/// A PCI function's directory name: DDDD:BB:DD.F.
bool isPciAddress(std::string_view name) {
    return name.size() == 12 && name[4] == ':' && name[7] == ':' && name[10] == '.';
}

/// The class code of the PCI function at `path` below `root` (PCI_CLASS=60400); 0 unknown.
std::uint32_t pciClass(const std::string& root, const std::string& path) {
    const auto uevent = sysfs::readAttribute(root + path + "/uevent").value_or("");
    return static_cast<std::uint32_t>(
        sysfs::parseNumber(sysfs::ueventValue(uevent, "PCI_CLASS"), 16).value_or(0));
}

bool isBridge(std::uint32_t classCode) {
    return (classCode >> 8) == kPciBridgeClass;
}

std::vector<std::string> childFunctions(const std::string& root, const std::string& path) {
    std::vector<std::string> children;
    for (const std::string& name : sysfs::listDirectory(root + path)) {
        if (isPciAddress(name)) {
            children.push_back(path + "/" + name);
        }
    }
    std::sort(children.begin(), children.end());
    return children;
}

/// The path below `root` that the link at `linkPath` leads to; empty when it leads elsewhere.
std::string devicePathOfLink(const std::string& root, const std::string& linkPath) {
    const auto target = sysfs::readLink(linkPath);
    if (!target) {
        return {};
    }
    const std::string resolved = sysfs::resolveLink(sysfs::parentPath(linkPath), *target);
    return sysfs::isSameOrBelow(resolved, root + std::string(kDevicesPath))
               ? resolved.substr(root.size())
               : std::string();
}

/// The bridges the host interface supplies: since the kernel reads the firmware's
/// "usb4-host-interface" references, each PCIe root port of a USB4 host is a consumer of its
/// host interface (consumer:pci:0000:00:07.0 under the host interface's directory).
void addLinkedTunnelPorts(const std::string& root, ThunderboltDomain& domain) {
    for (const std::string& name : sysfs::listDirectory(root + domain.nhiPath)) {
        if (!name.starts_with(kConsumerPrefix)) {
            continue;
        }
        const std::string port = devicePathOfLink(root, root + "/bus/pci/devices/" +
                                                            name.substr(kConsumerPrefix.size()));
        if (!port.empty() && isBridge(pciClass(root, port))) {
            domain.tunnelPorts.push_back(port);
        }
    }
}

/// A discrete host router is a PCIe switch: its upstream port has one downstream port to the
/// host interface, one to its xHCI controller (when it has one) and one per PCIe tunnel.
void addSwitchTunnelPorts(const std::string& root, ThunderboltDomain& domain) {
    const std::string interfacePort(sysfs::parentPath(domain.nhiPath));
    const std::string upstream(sysfs::parentPath(interfacePort));
    if (!isPciAddress(sysfs::baseName(interfacePort)) || !isPciAddress(sysfs::baseName(upstream))) {
        return; // the host interface sits on the computer's own root complex: integrated
    }
    domain.switchPath = upstream;
    for (const std::string& port : childFunctions(root, upstream)) {
        if (port == interfacePort || !isBridge(pciClass(root, port))) {
            continue;
        }
        const auto below = childFunctions(root, port);
        const bool hostController = std::any_of(below.begin(), below.end(), [&](const auto& f) {
            const std::uint32_t classCode = pciClass(root, f);
            return (classCode >> 8) == kUsbControllerClass;
        });
        if (!hostController) {
            domain.tunnelPorts.push_back(port);
        }
    }
}

std::optional<ThunderboltDomain> readDomain(const std::string& root, const std::string& listing,
                                            std::string_view name) {
    const auto number = sysfs::parseNumber(name.substr(6), 10);
    const std::string path = devicePathOfLink(root, listing + "/" + std::string(name));
    if (!number || path.empty()) {
        return std::nullopt;
    }
    ThunderboltDomain domain;
    domain.number = *number;
    domain.nhiPath = std::string(sysfs::parentPath(path));
    if (!isPciAddress(sysfs::baseName(domain.nhiPath))) {
        return domain; // a domain without a PCI host interface carries no PCIe tunnels we know
    }
    addLinkedTunnelPorts(root, domain);
    addSwitchTunnelPorts(root, domain);
    std::sort(domain.tunnelPorts.begin(), domain.tunnelPorts.end());
    domain.tunnelPorts.erase(std::unique(domain.tunnelPorts.begin(), domain.tunnelPorts.end()),
                             domain.tunnelPorts.end());
    return domain;
}

std::optional<ThunderboltRouter> readRouter(const std::string& directory, std::string_view name) {
    const std::size_t dash = name.find('-');
    if (dash == std::string_view::npos) {
        return std::nullopt;
    }
    const auto domain = sysfs::parseNumber(name.substr(0, dash), 10);
    const auto route = sysfs::parseNumber(name.substr(dash + 1), 16);
    if (!domain || !route || *route == 0) {
        return std::nullopt;
    }
    const auto uevent = sysfs::readAttribute(directory + "/uevent").value_or("");
    if (uevent.find("DEVTYPE=thunderbolt_device") == std::string::npos ||
        sysfs::readAttribute(directory + "/authorized") == "0") {
        return std::nullopt;
    }
    const auto number = [&](const char* attribute) {
        const auto text = sysfs::readAttribute(directory + "/" + attribute).value_or("");
        return static_cast<std::uint32_t>(sysfs::parseNumber(text, 16).value_or(0));
    };
    ThunderboltRouter router;
    router.name = std::string(name);
    router.domain = *domain;
    router.route = *route;
    router.depth = (std::bit_width(*route) + 7) / 8;
    router.vendor = number("vendor");
    router.model = number("device");
    router.uniqueId = sysfs::readAttribute(directory + "/unique_id").value_or("");
    return router;
}

} // namespace

std::uint64_t ThunderboltRouter::parentRoute() const {
    return depth <= 1 ? 0 : route & ((std::uint64_t{1} << (8 * (depth - 1))) - 1);
}

int ThunderboltTopology::domainBelowTunnelPort(std::string_view devicePath) const {
    for (std::size_t index = 0; index < domains.size(); ++index) {
        for (const std::string& port : domains[index].tunnelPorts) {
            if (devicePath != port && sysfs::isSameOrBelow(devicePath, port)) {
                return static_cast<int>(index);
            }
        }
    }
    return -1;
}

bool ThunderboltTopology::isHostRouterFunction(std::string_view devicePath) const {
    return std::any_of(domains.begin(), domains.end(), [&](const ThunderboltDomain& domain) {
        return !domain.switchPath.empty() && sysfs::isSameOrBelow(devicePath, domain.switchPath) &&
               std::none_of(domain.tunnelPorts.begin(), domain.tunnelPorts.end(),
                            [&](const std::string& port) {
                                return devicePath != port && sysfs::isSameOrBelow(devicePath, port);
                            });
    });
}

ThunderboltTopology readThunderboltTopology(const std::string& root) {
    const std::string listing = root + "/bus/thunderbolt/devices";
    ThunderboltTopology topology;
    for (const std::string& name : sysfs::listDirectory(listing)) {
        if (name.starts_with("domain")) {
            if (auto domain = readDomain(root, listing, name)) {
                topology.domains.push_back(std::move(*domain));
            }
        } else if (const auto target = sysfs::readLink(listing + "/" + name)) {
            if (auto router = readRouter(sysfs::resolveLink(listing, *target), name)) {
                topology.routers.push_back(std::move(*router));
            }
        }
    }
    std::sort(topology.domains.begin(), topology.domains.end(),
              [](const auto& a, const auto& b) { return a.number < b.number; });
    std::sort(topology.routers.begin(), topology.routers.end(), [](const auto& a, const auto& b) {
        return std::tie(a.domain, a.route) < std::tie(b.domain, b.route);
    });
    return topology;
}

} // namespace quaylet
