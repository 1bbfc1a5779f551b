// The snapshot loader: class ancestry, and errors that name the file and place (the value
// forms show in the fixture machines' golden transcripts).
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "platform/memory/memory_platform.h"
#include "platform/memory/snapshot_loader.h"
#include "tests/support/handle_ledger.h"

namespace quaylet {
namespace {

constexpr const char* kSmall = R"({
  "osVersion": "10.15.7",
  "classes": {"VendorBridge": "IOPCI2PCIBridge"},
  "registry": {
    "class": "IOPlatformExpertDevice", "name": "Root",
    "children": [
      {"class": "VendorBridge", "name": "bridge"},
      {"class": "IOMedia", "name": "hidden", "registered": false,
       "properties": {"BSD Name": "disk9"}}
    ]
  }
})";

class SnapshotLoaderTest : public ::testing::Test {
protected:
    std::string error;
};

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
                      Malformed{
                          R"({"osVersion": "11.0", "registry": {"class": "A", "chidren": []}})",
                          "at /registry/chidren: unknown key"},
                      Malformed{R"({"osVersion": "11.0", "registry": {"class": "A",
                     "properties": {"a/b": {"$data": "f"}}}})",
                                "at /registry/properties/a~1b/$data"},
                      Malformed{R"({"osVersion": "11.0", "registry": {"class": "A"},
                     "busyProcesses": [{"pid": -4, "name": "x", "openPaths": []}]})",
                                "at /busyProcesses/0/pid"}));

} // namespace
} // namespace quaylet
