// The snapshot loader: class ancestry, and errors that name the file and place (the value
// forms show in the fixture machines' golden transcripts).
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "platform/memory/memory_platform.h"
#include "platform/memory/snapshot_loader.h"
#include "tests/support/probed_registry.h"

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

// Each refusal names the file and the place: line and column for bad JSON, else the value's
// JSON pointer, escaped.
TEST_F(SnapshotLoaderTest, ErrorsNameTheFileAndThePlace) {
    const std::pair<const char*, const char*> cases[] = {
        {"{\n  \"osVersion\": \"11.0\",\n  oops\n}", "bad.json:3:"},
        {R"({"osVersion": "11.0", "registry": {"class": "A",
             "properties": {"a/b": {"$data": "f"}}}})",
         "bad.json: at /registry/properties/a~1b/$data"}};
    for (const auto& [text, expected] : cases) {
        EXPECT_FALSE(parseSnapshot(text, "bad.json", error));
        EXPECT_NE(error.find(expected), std::string::npos) << error;
    }
}

} // namespace
} // namespace quaylet
