// The dock hot-plug monitor over an in-memory registry: counting sightings up and down.
#include <memory>

#include <gtest/gtest.h>

#include "dock/dock_monitor.h"
#include "tests/support/probed_registry.h"

namespace quaylet {
namespace {

MemoryEntrySpec pciDevice(const std::string& name, PropertyDictionary properties = {}) {
    properties.emplace("IOPCITunnelled", true);
    return {"IOPCIDevice", {"IOService"}, name, std::move(properties)};
}

MemoryEntrySpec bridgeDriver() {
    return {"IOPCI2PCIBridge", {"IOService"}, "IOPP", {}};
}

MemoryEntrySpec usbDevice(const std::string& name, std::int64_t vendor, std::int64_t product) {
    return {"IOUSBHostDevice",
            {"IOUSBDevice", "IOService"},
            name,
            {{"idVendor", vendor}, {"idProduct", product}}};
}

PropertyDictionary tunnelIds(std::int64_t vendor, std::int64_t model) {
    return {{"Tunnel Endpoint Device Vendor ID", vendor},
            {"Tunnel Endpoint Device Model ID", model},
            {"Tunnel Endpoint GUID", PropertyData{1, 2, 3, 4}}};
}

class DockMonitorTest : public ::testing::Test {
protected:
    testing::ProbedRegistry registry;
    std::vector<std::uint64_t> counts; // as the monitor reported them
    std::unique_ptr<DockMonitor> monitor = std::make_unique<DockMonitor>(registry);
    MemoryEntryId root =
        registry.addEntry(std::nullopt, {"IOPlatformExpertDevice", {"IOService"}, "Root", {}});

    void SetUp() override { registry.publish(root); }

    void TearDown() override {
        monitor.reset();
        EXPECT_TRUE(testing::noHandlesLeft(registry));
    }

    /// Builds a dock the way a Mac's registry shows it: the tunnelled upstream bridge, its
    /// bridge driver, a downstream bridge and its driver, the xHCI function, its controller
    /// driver, a root port, the USB 3 hub device, its hub driver, a port with a hub on port 4
    /// and the presence device on port 7 of that hub. Returns the upstream bridge.
    MemoryEntryId plugDock(PropertyDictionary upstreamIds = tunnelIds(0x0126, 0x0040),
                           const std::string& controllerClass = "AppleUSBXHCIFL1100") {
        const MemoryEntryId upstream = registry.addEntry(root, pciDevice("UPSB", upstreamIds));
        MemoryEntryId at = registry.addEntry(upstream, bridgeDriver());
        at = registry.addEntry(at, pciDevice("DSB2"));
        at = registry.addEntry(at, bridgeDriver());
        at = registry.addEntry(at, pciDevice("XHC2"));
        std::vector<std::string> controllerBases{"AppleUSBHostController", "IOService"};
        if (controllerClass != "AppleUSBXHCI") {
            controllerBases.insert(controllerBases.begin(), "AppleUSBXHCI");
        }
        at = registry.addEntry(at, {controllerClass, controllerBases, "FL1100", {}});
        at = registry.addEntry(at, {"AppleUSBHostPort", {"IOService"}, "SSP1", {}});
        at = registry.addEntry(at, usbDevice("Dock USB3 Hub", 0x2109, 0x0822));
        at = registry.addEntry(at, {"AppleUSB30Hub", {"AppleUSBHub", "IOService"}, "Hub3", {}});
        at = registry.addEntry(at, {"AppleUSBHostPort", {"IOService"}, "HS04", {}});
        at = registry.addEntry(at, usbDevice("Inner Hub", 0x2109, 0x2817));
        at = registry.addEntry(at, {"AppleUSB20Hub", {"AppleUSBHub", "IOService"}, "Hub2", {}});
        at = registry.addEntry(at, {"AppleUSBHostPort", {"IOService"}, "HS07", {}});
        registry.addEntry(at, usbDevice("Dock Presence", 0x2109, 0x8884));
        registry.publish(upstream);
        return upstream;
    }

    bool start() {
        monitor->setDockCountObserver([this](std::uint64_t count) { counts.push_back(count); });
        return monitor->startDockMonitor();
    }

    void dispatch() { monitor->notificationPort()->dispatchPending(); }
};

TEST_F(DockMonitorTest, ConnectedDockIsCountedOncePerSourceBeforeStartReturns) {
    plugDock();
    EXPECT_TRUE(start());
    // Controller, hub and presence device each make one sighting, reported as they come.
    EXPECT_EQ(counts, (std::vector<std::uint64_t>{1, 2, 3}));

    // A second start arms nothing new.
    EXPECT_TRUE(monitor->startDockMonitor());
    dispatch();
    EXPECT_EQ(monitor->dockCount(), 3u);
}

TEST_F(DockMonitorTest, SightingThatCannotBeWatchedIsNotCounted) {
    plugDock();
    registry.failNextInterestNotification();
    EXPECT_TRUE(start());
    EXPECT_EQ(counts, (std::vector<std::uint64_t>{1, 2}));
}

TEST_F(DockMonitorTest, OlderSystemsReadTheTunnelIdsFromTheControllerItself) {
    registry.setOperatingSystemVersion({10, 10, 5});
    plugDock({}, "AppleUSBXHCI");
    // Before 10.11 the controller source matches any xHCI controller at depth 0, so the IDs
    // are read from the controller driver itself.
    const MemoryEntryId controller = *registry.findEntry("FL1100");
    registry.setProperty(controller, "Tunnel Endpoint Device Vendor ID", 0x0043);
    registry.setProperty(controller, "Tunnel Endpoint Device Model ID", 0x0021);
    EXPECT_TRUE(start());
    // The controller sighting, then the presence device; the hub's depth-7 ancestor has no IDs.
    EXPECT_EQ(counts, (std::vector<std::uint64_t>{1, 2}));
}

} // namespace
} // namespace quaylet
