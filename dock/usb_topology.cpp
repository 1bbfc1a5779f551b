// The dock's USB topology: the hub rule and the port rule, read afresh on every call.
#include "dock/usb_topology.h"

#include <algorithm>

#include "dock/registry_readers.h"
#include "platform/registry_object.h"
#include "platform/registry_walk.h"

namespace quaylet {
namespace {

constexpr const char* kLocationId = "locationID";

// One row of the presence table: where the 4-over-7 digit pair is looked for, and the base
// and step of the three candidates it gives.
struct PresenceTest {
    std::uint32_t mask;
    std::uint32_t value;
    std::uint32_t baseMask;
    std::uint32_t step;
};

constexpr PresenceTest kPresenceTests[] = {
    {0xFF, 0x47, 0xFFFFFF00, 0x10},
    {0xFF0, 0x470, 0xFFFFF000, 0x100},
    {0xFF00, 0x4700, 0xFFFF0000, 0x1000},
    {0xFF000, 0x47000, 0xFFF00000, 0x10000},
};

} // namespace

DockRule dockUsbTopologyRule(Registry& registry, RegistryHandle service) {
    std::vector<std::uint32_t> portLocations;
    bool hubVerdict = false;
    if (service != kNoRegistryObject) {
        RegistryWalk walk(registry, service);
        while (const RegistryHandle ancestor = walk.up()) {
            if (registry.conformsTo(ancestor, "AppleUSBHostPort")) {
                portLocations.push_back(readRegistryUInt32(registry, ancestor, kLocationId));
            }
            // Each hub replaces the verdict of those below it: the highest hub decides.
            if (registry.conformsTo(ancestor, "AppleUSB20Hub")) {
                hubVerdict = hubParentMatches(registry, ancestor, kDockUsb2HubIds);
            } else if (registry.conformsTo(ancestor, "AppleUSB30Hub")) {
                hubVerdict = hubParentMatches(registry, ancestor, kDockUsb3HubIds);
            }
        }
    }
    if (hubVerdict) {
        return DockRule::HubRule;
    }
    const auto candidates = dockPortCandidates(dockPresenceLocations(registry));
    const bool onDockPort = std::any_of(
        portLocations.begin(), portLocations.end(), [&candidates](std::uint32_t location) {
            return std::find(candidates.begin(), candidates.end(), location) != candidates.end();
        });
    return onDockPort ? DockRule::PortRule : DockRule::None;
}

bool isOnDockUsbTopology(Registry& registry, RegistryHandle service) {
    return dockUsbTopologyRule(registry, service) != DockRule::None;
}

std::vector<std::uint32_t> dockPresenceLocations(Registry& registry) {
    MatchingDictionary matching = serviceMatching("IOUSBHostDevice");
    matching.properties.emplace("idVendor",
                                static_cast<std::int32_t>(kDockPresenceDeviceId.vendor));
    matching.properties.emplace("idProduct",
                                static_cast<std::int32_t>(kDockPresenceDeviceId.product));
    std::vector<std::uint32_t> locations;
    const RegistryObject iterator(registry, registry.matchingServices(std::move(matching)));
    if (!iterator) {
        return locations;
    }
    for (;;) {
        const RegistryObject device(registry, registry.iteratorNext(iterator.get()));
        if (!device) {
            return locations;
        }
        locations.push_back(readRegistryUInt32(registry, device.get(), kLocationId));
    }
}

std::vector<std::uint32_t> dockPortCandidates(const std::vector<std::uint32_t>& presenceLocations) {
    std::vector<std::uint32_t> candidates;
    for (const std::uint32_t location : presenceLocations) {
        const auto test = std::find_if(
            std::begin(kPresenceTests), std::end(kPresenceTests),
            [location](const PresenceTest& row) { return (location & row.mask) == row.value; });
        if (test == std::end(kPresenceTests)) {
            continue;
        }
        const std::uint32_t base = location & test->baseMask;
        for (std::uint32_t port = 1; port <= 3; ++port) {
            candidates.push_back(base + port * test->step);
        }
    }
    return candidates;
}

bool hubParentMatches(Registry& registry, RegistryHandle hub, std::span<const UsbIdPair> pairs) {
    const RegistryObject parent(registry, registry.parentEntry(hub));
    if (!parent) {
        return false;
    }
    const UsbIdPair ids{readRegistryUInt32(registry, parent.get(), "idVendor"),
                        readRegistryUInt32(registry, parent.get(), "idProduct")};
    return std::find(pairs.begin(), pairs.end(), ids) != pairs.end();
}

} // namespace quaylet
