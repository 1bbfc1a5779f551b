// The device-behind-dock test: tunnelled PCI devices, the dock's USB IDs, then the topology.
#include "dock/behind_dock.h"

#include <algorithm>

#include "dock/dock_identity.h"
#include "dock/registry_readers.h"
#include "dock/usb_topology.h"
#include "platform/registry_walk.h"

namespace quaylet {
namespace {

constexpr int kTunnelGuidSearchDepth = 5;

// What one ancestor says on the upward walk.
enum class Step { Continue, Stop, Found };

Step testPciDevice(Registry& registry, RegistryHandle device, bool& mayBeDock) {
    const auto tunnelled = registry.property(device, "IOPCITunnelled");
    const bool* flag = tunnelled ? tunnelled->boolean() : nullptr;
    if (flag == nullptr || !*flag) {
        return Step::Stop; // the computer's own PCI: nothing above it belongs to a dock
    }
    if (isDockTunnelEndpoint(registry, device)) {
        return Step::Found;
    }
    // An endpoint that is no dock may be a device chained behind one: keep climbing.
    mayBeDock = mayBeDock || mayTunnelToDock(registry, device);
    return Step::Continue;
}

Step testUsbDevice(Registry& registry, RegistryHandle device) {
    return isDockUsbId(readRegistryNumber(registry.property(device, "idVendor")),
                       readRegistryNumber(registry.property(device, "idProduct")))
               ? Step::Found
               : Step::Continue;
}

} // namespace

DockRule behindDockRule(Registry& registry, RegistryHandle service) {
    if (service == kNoRegistryObject) {
        return dockUsbTopologyRule(registry, service);
    }
    DockRule found = DockRule::None;
    bool mayBeDock = false;
    {
        RegistryWalk walk(registry, service);
        while (const RegistryHandle ancestor = walk.up()) {
            // PCI first: an entry of both kinds is judged by the PCI rule alone.
            const bool pci = registry.conformsTo(ancestor, "IOPCIDevice");
            const Step step = pci ? testPciDevice(registry, ancestor, mayBeDock)
                              : registry.conformsTo(ancestor, "IOUSBDevice")
                                  ? testUsbDevice(registry, ancestor)
                                  : Step::Continue;
            if (step == Step::Found) {
                found = pci ? DockRule::TunnelEndpoint : DockRule::DockUsbIds;
            }
            if (step != Step::Continue) {
                break;
            }
        }
    }
    if (found != DockRule::None) {
        return found;
    }
    // Unmounting a volume that was not needed is an inconvenience; leaving one mounted on a
    // dock that is pulled loses data.
    const DockRule usbRule = dockUsbTopologyRule(registry, service);
    return usbRule == DockRule::None && mayBeDock ? DockRule::UntiedTunnel : usbRule;
}

bool isServiceBehindDock(Registry& registry, RegistryHandle service) {
    return behindDockRule(registry, service) != DockRule::None;
}

bool mayTunnelToDock(Registry& registry, RegistryHandle pciDevice) {
    const auto candidates = registry.property(pciDevice, "Tunnel Endpoint Candidates");
    const PropertyDictionary* routers = candidates ? candidates->dictionary() : nullptr;
    if (routers == nullptr) {
        return false;
    }
    return std::any_of(routers->begin(), routers->end(), [](const auto& router) {
        const PropertyDictionary* ids = router.second.dictionary();
        const auto id = [ids](std::string_view key) -> std::int64_t {
            if (ids == nullptr) {
                return 0;
            }
            const auto found = ids->find(key);
            return found == ids->end() ? 0 : readRegistryNumber(found->second);
        };
        return isDockTunnelId(id("Tunnel Endpoint Device Vendor ID"),
                              id("Tunnel Endpoint Device Model ID"));
    });
}

bool isDockTunnelEndpoint(Registry& registry, RegistryHandle pciDevice) {
    RegistryWalk walk(registry, pciDevice);
    if (isOperatingSystemAtLeastVersion(registry, {11, 0, 0})) {
        // The IDs sit on the entry with the tunnel's GUID, a few levels up. A failed request
        // leaves the walk where it is and still counts.
        for (int request = 0; request < kTunnelGuidSearchDepth; ++request) {
            if (walk.up() != kNoRegistryObject &&
                registry.property(walk.current(), "Tunnel Endpoint GUID")) {
                break;
            }
        }
    }
    const RegistryHandle chosen = walk.current();
    return isDockTunnelId(
        readRegistryNumber(registry.property(chosen, "Tunnel Endpoint Device Vendor ID")),
        readRegistryNumber(registry.property(chosen, "Tunnel Endpoint Device Model ID")));
}

} // namespace quaylet
