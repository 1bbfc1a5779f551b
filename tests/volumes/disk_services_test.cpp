// External storage, on a small registry.
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/fixture_machine.h"
#include "volumes/disk_services.h"

namespace quaylet {
namespace {

using testing::noHandlesLeft;

// A disk under one storage device and its driver. (Which disks are images, by their nearest
// "image-path", the golden status transcripts show on the fixture machines.)
class DiskServicesTest : public ::testing::Test {
protected:
    MemoryEntryId add(std::optional<MemoryEntryId> parent, const char* className,
                      PropertyDictionary properties = {}) {
        return registry.addEntry(parent,
                                 {className, {"IOService"}, className, std::move(properties)});
    }
    bool external() {
        const RegistryObject held(registry, registry.referenceTo(disk));
        const bool answer = isExternalStorage(registry, held.get());
        EXPECT_EQ(testing::ledgerOf(registry).outstanding(), 1U);
        return answer;
    }
    void TearDown() override { EXPECT_TRUE(noHandlesLeft(registry)); }

    testing::ProbedRegistry registry;
    MemoryEntryId top = add(std::nullopt, "IOHDIXController");
    MemoryEntryId storage =
        registry.addEntry(top, {"IOBlockStorageServices", {"IOBlockStorageDevice"}, "storage", {}});
    MemoryEntryId driver = add(storage, "IOBlockStorageDriver");
    MemoryEntryId disk = add(driver, "IOMedia");
};

TEST_F(DiskServicesTest, NearestStorageDeviceDecidesExternalIgnoringCase) {
    EXPECT_FALSE(external()); // no characteristics
    const auto location = [](const char* where) {
        return PropertyDictionary{{"Physical Interconnect Location", where}};
    };
    registry.setProperty(storage, "Protocol Characteristics", location("external"));
    EXPECT_TRUE(external());
    registry.setProperty(storage, "Protocol Characteristics", location("Internal"));
    registry.setProperty(top, "Protocol Characteristics", location("External"));
    EXPECT_FALSE(external()); // storage classes further up are never consulted
    registry.setProperty(storage, "Protocol Characteristics", "External");
    EXPECT_FALSE(external()); // not a dictionary
    registry.setProperty(storage, "Protocol Characteristics", location("External"));
    registry.setProperty(driver, "image-path", "/a.dmg"); // present but not data
    EXPECT_FALSE(external());
}

} // namespace
} // namespace quaylet
