// The dock's USB topology: presence candidates, the hub rule and the port rule.
#include <vector>

#include <gtest/gtest.h>

#include "dock/registry_readers.h"
#include "dock/usb_topology.h"
#include "platform/registry_object.h"
#include "tests/support/fixture_machine.h"

namespace quaylet {
namespace {

using testing::entryNamed;
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
        EXPECT_EQ(registry.outstandingHandles(), 1U);
        return rule;
    }
    void TearDown() override { EXPECT_TRUE(noHandlesLeft(registry)); }

    Platform platform = loadFixture("laptop_with_dock_11");
    MemoryRegistry& registry = memoryRegistry(platform);
};

TEST_F(UsbTopologyTest, PresenceDeviceGivesThePortsOfTheDockHub) {
    EXPECT_EQ(dockPresenceLocations(registry), Locations{0x1A347000});
    EXPECT_TRUE(noHandlesLeft(registry));
}

TEST_F(UsbTopologyTest, HighestHubDecides) {
    EXPECT_EQ(ruleFor("disk4"), DockRule::HubRule); // foreign hub on a dock hub port
    EXPECT_EQ(ruleFor("disk5"), DockRule::HubRule); // dock USB 2 hub
    EXPECT_EQ(ruleFor("disk15"), DockRule::None);   // foreign hub on the laptop's own port
    EXPECT_EQ(ruleFor("disk1"), DockRule::None);
    EXPECT_FALSE(isOnDockUsbTopology(registry, 0));
}

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

TEST_F(UsbTopologyTest, HubWithoutParentOrForeignParentDoesNotMatch) {
    const RegistryObject hub(registry, entryNamed(registry, "AppleUSB30Hub@1a100000"));
    EXPECT_TRUE(hubParentMatches(registry, hub.get(), kDockUsb3HubIds));
    EXPECT_FALSE(hubParentMatches(registry, hub.get(), kDockUsb2HubIds));
    EXPECT_EQ(registry.outstandingHandles(), 1U);

    MemoryRegistry lone;
    const RegistryObject orphan(
        lone, lone.referenceTo(lone.addEntry(std::nullopt, {"AppleUSB30Hub", {}, "hub", {}})));
    EXPECT_FALSE(hubParentMatches(lone, orphan.get(), kDockUsb3HubIds));
}

TEST(RegistryReadersTest, NumbersAndFourDataBytesLittleEndian) {
    const std::pair<std::optional<PropertyValue>, std::int64_t> cases[] = {
        {std::nullopt, 0},
        {PropertyValue(-5), -5},
        {PropertyValue(PropertyData{0xFF, 0xFF, 0xFF, 0xFF}), -1},
        {PropertyValue(PropertyData{0x01, 0x00, 0x00, 0x00}), 1},
        {PropertyValue(PropertyData{0x01, 0x00}), 0},
        {PropertyValue(PropertyData(8, 0x01)), 0},
        {PropertyValue("12"), 0},
        {PropertyValue(true), 0}};
    for (const auto& [value, expected] : cases) {
        EXPECT_EQ(readRegistryNumber(value), expected);
    }
}

TEST(RegistryReadersTest, UInt32KeepsTheLowBitsAndVersionTestsCompare) {
    MemoryRegistry registry{{10, 11, 0}};
    const MemoryEntryId id = registry.addEntry(
        std::nullopt,
        {"AppleUSBHostPort", {}, "port", {{"locationID", 0x1'1A32'0000LL}, {"text", "0x14"}}});
    const RegistryObject port(registry, registry.referenceTo(id));
    EXPECT_EQ(readRegistryUInt32(registry, port.get(), "locationID"), 0x1A320000U);
    EXPECT_EQ(readRegistryUInt32(registry, port.get(), "text"), 0U);
    EXPECT_EQ(readRegistryUInt32(registry, port.get(), "missing"), 0U);
    EXPECT_TRUE(isOperatingSystemAtLeast(registry, 11));
    registry.setOperatingSystemVersion({10, 10, 5});
    EXPECT_FALSE(isOperatingSystemAtLeast(registry, 11));
    EXPECT_TRUE(isOperatingSystemAtLeastVersion(registry, {10, 10, 5}));
    EXPECT_FALSE(isOperatingSystemAtLeastVersion(registry, {11, 0, 0}));
}

} // namespace
} // namespace quaylet
