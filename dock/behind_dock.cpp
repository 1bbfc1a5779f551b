// The device-behind-dock test: tunnelled PCI devices, the dock's USB IDs, then the topology.
#include "dock/behind_dock.h"

#include "dock/dock_identity.h"
#include "dock/registry_readers.h"
#include "dock/usb_topology.h"
#include "platform/registry_walk.h"

namespace quaylet {
namespace {

constexpr int kTunnelGuidSearchDepth = 5;

// What one ancestor says on the upward walk.
enum class Step { Continue, Stop, Found };

Step testPciDevice(Registry& registry, RegistryHandle device) {
    const auto tunnelled = registry.property(device, "IOPCITunnelled");
    const bool* flag = tunnelled ? tunnelled->boolean() : nullptr;
    if (flag == nullptr || !*flag) {
        return Step::Stop; // the computer's own PCI: nothing above it belongs to a dock
    }
    // An endpoint that is no dock may be a device chained behind one: keep climbing.
    return isDockTunnelEndpoint(registry, device) ? Step::Found : Step::Continue;
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
    {
        RegistryWalk walk(registry, service);
        while (const RegistryHandle ancestor = walk.up()) {
            // PCI first: an entry of both kinds is judged by the PCI rule alone.
            const bool pci = registry.conformsTo(ancestor, "IOPCIDevice");
            const Step step = pci ? testPciDevice(registry, ancestor)
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
    return found != DockRule::None ? found : dockUsbTopologyRule(registry, service);
}

bool isServiceBehindDock(Registry& registry, RegistryHandle service) {
    return behindDockRule(registry, service) != DockRule::None;
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
