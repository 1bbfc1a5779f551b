// The dock's USB topology: presence candidates, the hub rule and the port rule.
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "dock/registry_readers.h"
#include "dock/usb_topology.h"
#include "platform/registry_object.h"
#include "tests/support/fixture_machine.h"

namespace quaylet {
namespace {

using testing::loadFixture;
using testing::memoryRegistry;
using testing::noHandlesLeft;
using Locations = std::vector<std::uint32_t>;

TEST(DockPortCandidatesTest, FindsTheDeepest4Over7PairAndAddsPorts1To3AboveIt) {
    const std::pair<Locations, Locations> cases[] = {
        {{0x1A347000}, {0x1A310000, 0x1A320000, 0x1A330000}},
        {{0x12345647}, {0x12345610, 0x12345620, 0x12345630}},
        {{0x14470000}, {}},
        {{0x00047047}, {0x00047010, 0x00047020, 0x00047030}},
        {{0x1A347000, 0x12345647},
         {0x1A310000, 0x1A320000, 0x1A330000, 0x12345610, 0x12345620, 0x12345630}},
        {{0}, {}},
        {{}, {}}};
    for (const auto& [presence, candidates] : cases) {
        EXPECT_EQ(dockPortCandidates(presence), candidates) << ::testing::PrintToString(presence);
    }
}

class UsbTopologyTest : public ::testing::Test {
protected:
    DockRule ruleFor(const char* bsdName) {
        const RegistryObject disk(registry, registry.serviceForBsdName(bsdName));
        EXPECT_TRUE(disk) << bsdName;
        const DockRule rule = dockUsbTopologyRule(registry, disk.get());
        EXPECT_EQ(testing::ledgerOf(registry).outstanding(), 1U);
        return rule;
    }
    void TearDown() override { EXPECT_TRUE(noHandlesLeft(registry)); }

    Platform platform = loadFixture("laptop-with-dock-11");
    MemoryRegistry& registry = memoryRegistry(platform);
};

TEST_F(UsbTopologyTest, PortRuleCatchesDevicesOnTheCandidatePorts) {
    // Hide the dock hubs' IDs so that only the port rule can answer.
    for (const char* hub : {"USB3.0 Hub@1a100000", "USB2.0 Hub@1a300000"}) {
        registry.setProperty(*registry.findEntry(hub), "idProduct", 0x1234);
    }
    EXPECT_EQ(ruleFor("disk5"), DockRule::PortRule); // passes port 0x1A320000
    EXPECT_EQ(ruleFor("disk4"), DockRule::None);     // USB 3 side: no candidate port
    registry.terminate(*registry.findEntry("USB Billboard Device@1a347000"));
    EXPECT_EQ(ruleFor("disk5"), DockRule::None); // no presence device, no candidates
}

TEST(UsbTopologyHubOrderTest, AHubOfTheDocksMakeBelowAForeignHubIsNoDock) {
    // A hub chip of the dock's make bought on its own, behind a foreign hub.
    MemoryRegistry registry;
    std::vector<MemoryEntryId> chain;
    for (const auto& [className, vendor, product] :
         std::vector<std::tuple<const char*, int, int>>{{"IOUSBHostDevice", 0x05E3, 0x0610},
                                                        {"AppleUSB20Hub", 0, 0},
                                                        {"IOUSBHostDevice", 0x2109, 0x2817},
                                                        {"AppleUSB20Hub", 0, 0},
                                                        {"IOMedia", 0, 0}}) {
        chain.push_back(registry.addEntry(
            chain.empty() ? std::nullopt : std::optional(chain.back()),
            {className, {"IOService"}, className, {{"idVendor", vendor}, {"idProduct", product}}}));
    }
    registry.publish(chain.front());
    const RegistryObject disk(registry, registry.referenceTo(chain.back()));
    EXPECT_EQ(dockUsbTopologyRule(registry, disk.get()), DockRule::None);
    const RegistryObject lone(registry, registry.referenceTo(registry.addEntry(
                                            std::nullopt, {"AppleUSB30Hub", {}, "hub", {}})));
    EXPECT_FALSE(hubParentMatches(registry, lone.get(), kDockUsb3HubIds)); // a hub without parent
}

} // namespace
} // namespace quaylet
