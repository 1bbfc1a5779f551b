// The behind-dock rules on small hand-built trees; the fixture machines' verdicts are pinned
// by the golden status transcripts.

#include <gtest/gtest.h>

#include "dock/behind_dock.h"
#include "platform/registry_object.h"
#include "tests/support/probed_registry.h"

namespace quaylet {
namespace {

// A chain root → a1 → … → a6 → tunnelled device P, with properties put where a case wants.
class TunnelSearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::optional<MemoryEntryId> parent;
        for (int level = 6; level >= 1; --level) {
            ancestors[level] = registry.addEntry(
                parent, {"IOPCI2PCIBridge", {"IOService"}, "a" + std::to_string(level), {}});
            parent = ancestors[level];
        }
        device = registry.addEntry(parent,
                                   {"IOPCIDevice", {"IOService"}, "P", {{"IOPCITunnelled", true}}});
        registry.publish(ancestors[6]);
    }
    void putDockIds(MemoryEntryId entry, std::int64_t model = 0x21) {
        registry.setProperty(entry, "Tunnel Endpoint Device Vendor ID", 0x43);
        registry.setProperty(entry, "Tunnel Endpoint Device Model ID", model);
    }
    bool endpointIsDock() {
        const RegistryObject held(registry, registry.referenceTo(device));
        const bool dock = isDockTunnelEndpoint(registry, held.get());
        EXPECT_EQ(testing::ledgerOf(registry).outstanding(), 1U);
        return dock;
    }

    testing::ProbedRegistry registry{{11, 0, 0}};
    MemoryEntryId ancestors[7] = {};
    MemoryEntryId device = 0;
};

TEST_F(TunnelSearchTest, StopsAtTheFirstGuidAboveTheDevice) {
    putDockIds(device); // never read on 11.0: the search starts above the device
    EXPECT_FALSE(endpointIsDock());
    registry.setProperty(ancestors[2], "Tunnel Endpoint GUID", 7);
    putDockIds(ancestors[2]);
    putDockIds(ancestors[4], 0x99); // above the GUID: not reached
    EXPECT_TRUE(endpointIsDock());
}

TEST_F(TunnelSearchTest, WithoutAGuidReadsTheFifthAncestor) {
    putDockIds(ancestors[6]);
    EXPECT_FALSE(endpointIsDock());
    putDockIds(ancestors[5]);
    EXPECT_TRUE(endpointIsDock());
}

TEST(BehindDockTest, PciRuleWinsForEntriesOfBothKindsAndStopsAtTheComputersOwnPci) {
    testing::ProbedRegistry registry;
    const MemoryEntryId dockHub = registry.addEntry(
        std::nullopt,
        {"IOUSBHostDevice", {"IOUSBDevice"}, "hub", {{"idVendor", 0x2109}, {"idProduct", 0x0822}}});
    const MemoryEntryId both =
        registry.addEntry(dockHub, {"Odd",
                                    {"IOPCIDevice", "IOUSBDevice"},
                                    "both",
                                    {{"idVendor", 0x2109}, {"idProduct", 0x2817}}});
    const MemoryEntryId disk = registry.addEntry(both, {"IOMedia", {}, "disk", {}});
    registry.publish(dockHub);
    const RegistryObject held(registry, registry.referenceTo(disk));
    // "both" is PCI without tunnelling: the walk ends there, before the dock hub above.
    EXPECT_EQ(behindDockRule(registry, held.get()), DockRule::None);
    registry.setProperty(both, "IOPCITunnelled", false);
    EXPECT_EQ(behindDockRule(registry, held.get()), DockRule::None);
    EXPECT_EQ(testing::ledgerOf(registry).outstanding(), 1U);
}

TEST(BehindDockTest, ATunnelToOneOfSeveralRoutersIsTheDocksOnlyWhenOneOfThemIsADock) {
    testing::ProbedRegistry registry;
    const MemoryEntryId rootPort = registry.addEntry(std::nullopt, {"IOPCIDevice", {}, "rp", {}});
    const MemoryEntryId head =
        registry.addEntry(rootPort, {"IOPCIDevice", {}, "head", {{"IOPCITunnelled", true}}});
    const MemoryEntryId disk = registry.addEntry(head, {"IOMedia", {}, "disk", {}});
    registry.publish(rootPort);
    const auto ids = [](std::int64_t vendor, std::int64_t model) {
        return PropertyValue(PropertyDictionary{{"Tunnel Endpoint Device Vendor ID", vendor},
                                                {"Tunnel Endpoint Device Model ID", model}});
    };
    PropertyDictionary routers{{"0-1", ids(0x171, 0x10)}, {"0-3", ids(0x1DA0, 0x8831)}};
    registry.setProperty(head, "Tunnel Endpoint Candidates", routers);
    const RegistryObject held(registry, registry.referenceTo(disk));
    EXPECT_EQ(behindDockRule(registry, held.get()), DockRule::None);
    routers.emplace("0-5", ids(0x126, 0x42));
    registry.setProperty(head, "Tunnel Endpoint Candidates", routers);
    EXPECT_EQ(behindDockRule(registry, held.get()), DockRule::UntiedTunnel);
    EXPECT_EQ(testing::ledgerOf(registry).outstanding(), 1U);
}

} // namespace
} // namespace quaylet
