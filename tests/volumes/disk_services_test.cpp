// BSD device names, external storage and disk image paths, on small registries.
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "platform/memory/bsd_device_naming.h"
#include "tests/support/fixture_machine.h"
#include "volumes/disk_services.h"

namespace quaylet {
namespace {

using testing::noHandlesLeft;

TEST(BsdDeviceNamingTest, WholeDiskUpToFourDigitsAndVolumeNamesUpTo63Bytes) {
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"/dev/disk1234s2", "disk1234"}, {"disk4s", "disk4"},
        {"/dev/disk12", "disk12"},       {"/dev/disk12345", std::nullopt},
        {"/dev/disk4x", std::nullopt},   {"/dev/sdb1", std::nullopt}};
    for (const auto& [path, expected] : cases) {
        EXPECT_EQ(bsdWholeDiskName(path), expected) << path;
    }
    const std::string longest = "disk1s" + std::string(57, '1');
    EXPECT_EQ(bsdVolumeName("/dev/" + longest), longest);
    EXPECT_EQ(bsdVolumeName("/dev/" + longest + "1"), std::nullopt);
    EXPECT_EQ(bsdVolumeName("/dev/sda1"), std::nullopt);
}

// A disk under one storage device that may carry "image-path" properties at two levels.
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
        EXPECT_EQ(registry.outstandingHandles(), 1U);
        return answer;
    }
    std::optional<std::string> image() {
        const RegistryObject held(registry, registry.referenceTo(disk));
        std::string path = "stale";
        const bool found = diskImagePath(registry, held.get(), path);
        EXPECT_EQ(registry.outstandingHandles(), 1U);
        EXPECT_TRUE(found || path.empty());
        return found ? std::optional(path) : std::nullopt;
    }
    void TearDown() override { EXPECT_TRUE(noHandlesLeft(registry)); }

    MemoryRegistry registry;
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
    EXPECT_FALSE(isExternalStorage(registry, 0));
}

TEST_F(DiskServicesTest, NearestImagePathDecidesAndMustHaveBytes) {
    EXPECT_EQ(image(), std::nullopt);
    registry.setProperty(storage, "image-path", PropertyData{'/', 'a', '.', 'd', 'm', 'g'});
    EXPECT_EQ(image(), "/a.dmg");
    registry.setProperty(driver, "image-path", PropertyData{});
    EXPECT_EQ(image(), std::nullopt); // empty below a usable one
    registry.setProperty(driver, "image-path", "/b.dmg");
    EXPECT_EQ(image(), std::nullopt); // not data
    std::string path = "stale";
    EXPECT_FALSE(diskImagePath(registry, 0, path));
    EXPECT_TRUE(path.empty());
}

} // namespace
} // namespace quaylet
