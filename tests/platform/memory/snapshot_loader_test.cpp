// The snapshot loader: value forms, class ancestry, and errors that name the file and place.
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "platform/memory/memory_platform.h"
#include "platform/memory/snapshot_loader.h"
#include "tests/support/handle_ledger.h"

namespace quaylet {
namespace {

constexpr const char* kSmall = R"({
  "machine": "test",
  "osVersion": "10.15.7",
  "classes": {"VendorBridge": "IOPCI2PCIBridge"},
  "registry": {
    "class": "IOPlatformExpertDevice", "name": "Root",
    "children": [
      {"class": "VendorBridge", "name": "bridge",
       "properties": {"locationID": {"$number": "0x1A320000"}, "negative": {"$number": "-1"},
                      "bytes": {"$data": "ff ff ff ff"}, "path": {"$data-text": "/a.dmg"},
                      "flag": true, "text": "x", "count": 7,
                      "dict": {"Physical Interconnect Location": "External"}}},
      {"class": "IOMedia", "name": "hidden", "registered": false,
       "properties": {"BSD Name": "disk9"}}
    ]
  },
  "mounts": [{"device": "/dev/disk1s1", "mountPoint": "/", "type": "apfs"}],
  "displayNames": {"/": "Macintosh HD"},
  "busyProcesses": [{"pid": 812, "name": "Preview", "application": "Preview",
                     "openPaths": ["/Volumes/Dock/a.pdf"]}]
})";

class SnapshotLoaderTest : public ::testing::Test {
protected:
    std::string error;
};

TEST_F(SnapshotLoaderTest, ReadsEveryValueFormAndSection) {
    const auto snapshot = parseSnapshot(kSmall, "small.json", error);
    ASSERT_TRUE(snapshot) << error;
    EXPECT_EQ(snapshot->osVersion, (OperatingSystemVersion{10, 15, 7}));
    const auto& bridge = snapshot->registry.children.at(0).properties;
    EXPECT_EQ(bridge.at("locationID"), PropertyValue(0x1A320000));
    EXPECT_EQ(bridge.at("negative"), PropertyValue(-1));
    EXPECT_EQ(bridge.at("bytes"), PropertyValue(PropertyData{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(bridge.at("path"), PropertyValue(PropertyData{'/', 'a', '.', 'd', 'm', 'g'}));
    EXPECT_EQ(bridge.at("dict").dictionary()->at("Physical Interconnect Location"),
              PropertyValue("External"));
}

TEST_F(SnapshotLoaderTest, BuildsTheRegistryWithAncestryAndOnlyRegisteredServices) {
    const auto snapshot = parseSnapshot(kSmall, "small.json", error);
    ASSERT_TRUE(snapshot) << error;
    auto registry = buildMemoryRegistry(*snapshot);
    testing::attachLedger(*registry);
    const RegistryHandle bridge = registry->referenceTo(*registry->findEntry("bridge"));
    EXPECT_TRUE(registry->conformsTo(bridge, "IOPCIBridge"));
    EXPECT_FALSE(registry->conformsTo(bridge, "IOPCIDevice"));
    EXPECT_EQ(registry->serviceForBsdName("disk9"), 0U);
    EXPECT_EQ(registry->operatingSystemVersion(), (OperatingSystemVersion{10, 15, 7}));
    registry->release(bridge);
    EXPECT_TRUE(testing::noHandlesLeft(*registry));
}

struct Malformed {
    const char* text;
    const char* expected; // a part of the error
    friend void PrintTo(const Malformed& malformed, std::ostream* out) {
        *out << malformed.expected;
    }
};

class SnapshotErrorTest : public SnapshotLoaderTest,
                          public ::testing::WithParamInterface<Malformed> {};

TEST_P(SnapshotErrorTest, NamesTheFileAndThePlace) {
    EXPECT_FALSE(parseSnapshot(GetParam().text, "bad.json", error));
    EXPECT_NE(error.find("bad.json"), std::string::npos) << error;
    EXPECT_NE(error.find(GetParam().expected), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SnapshotErrorTest,
    ::testing::Values(Malformed{"{\n  \"osVersion\": \"11.0\",\n  oops\n}", "bad.json:3:"},
                      Malformed{"[]", "must be an object"},
                      Malformed{
                          R"({"osVersion": "11.0", "registry": {"class": "A", "chidren": []}})",
                          "at /registry/chidren: unknown key"},
                      Malformed{R"({"osVersion": "11.0", "registry": {"class": "A",
                     "properties": {"a/b": {"$data": "f"}}}})",
                                "at /registry/properties/a~1b/$data"},
                      Malformed{R"({"osVersion": "11.0", "registry": {"class": "A",
                     "properties": {"x": 1.5}}})",
                                "at /registry/properties/x: expected an integer"},
                      Malformed{R"({"osVersion": "11.0", "registry": {"class": "A",
                     "properties": {"x": 18446744073709551615}}})",
                                "signed 64-bit"},
                      Malformed{R"({"osVersion": "11.0", "registry": {"class": "A"},
                     "busyProcesses": [{"pid": -4, "name": "x", "openPaths": []}]})",
                                "at /busyProcesses/0/pid"}));

TEST_F(SnapshotLoaderTest, RejectsTreesNestedTooDeepWithoutCrashing) {
    std::string text = R"({"osVersion": "11.0", "registry": )";
    for (int level = 0; level < 400; ++level) {
        text += R"({"class": "A", "children": [)";
    }
    for (int level = 0; level < 400; ++level) {
        text += "]}";
    }
    text += "}";
    EXPECT_FALSE(parseSnapshot(text, "deep.json", error));
    EXPECT_NE(error.find("nested too deep"), std::string::npos) << error;
}

} // namespace
} // namespace quaylet
