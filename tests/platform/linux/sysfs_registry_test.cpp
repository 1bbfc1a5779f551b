// Tests of SysfsRegistry over the fixture device trees: each tree's registry against its
// golden dump, and rereading the tree.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dock/property_dump.h"
#include "platform/linux/sysfs_registry.h"
#include "tests/support/probed_registry.h"
#include "tests/support/test_paths.h"

namespace quaylet {
namespace {

/// Appends `entry` and everything below it, in registry order: one line with the class and the
/// entry's name, then its property table, all indented by depth. Releases `entry`.
void dumpEntry(Registry& registry, RegistryHandle entry, int depth, std::string& out) {
    const std::string indent(static_cast<std::size_t>(depth) * 4, ' ');
    const auto name = registry.property(entry, "IOName");
    out += indent + registry.className(entry) + " " +
           (name && name->string() ? *name->string() : "") + "\n";
    std::istringstream properties(describeProperties(*registry.properties(entry)));
    for (std::string line; std::getline(properties, line);) {
        out += indent + line + "\n";
    }
    const RegistryHandle children = registry.childIterator(entry);
    while (const RegistryHandle child = registry.iteratorNext(children)) {
        dumpEntry(registry, child, depth + 1, out);
    }
    registry.release(children);
    registry.release(entry);
}

/// The whole registry of the tree under `root`, from its root entry down.
std::string dumpRegistry(const std::string& root) {
    SysfsRegistry registry(root);
    testing::attachLedger(registry);
    std::string out;
    const RegistryHandle roots =
        registry.matchingServices(serviceMatching("IOPlatformExpertDevice"));
    while (const RegistryHandle top = registry.iteratorNext(roots)) {
        dumpEntry(registry, top, 0, out);
    }
    registry.release(roots);
    EXPECT_TRUE(testing::noHandlesLeft(registry));
    return out;
}

// Each fixture tree's registry is pinned by its golden dump (registry.txt beside its sys/).
// QUAYLET_UPDATE_GOLDEN=1 writes the dumps anew, for review in the diff.
TEST(SysfsRegistryGoldenTest, EachFixtureTreeGivesItsGoldenRegistry) {
    for (const char* machine :
         {"laptop-dock", "laptop-undocked", "laptop-dock-heavy", "debian-desktop"}) {
        const std::string golden = testing::fixturePath(machine, "registry.txt");
        const std::string dump = dumpRegistry(testing::fixturePath(machine, "sys"));
        const char* update = std::getenv("QUAYLET_UPDATE_GOLDEN");
        if (update != nullptr && std::string(update) == "1") {
            std::ofstream(golden) << dump;
        }
        std::ifstream in(golden);
        std::stringstream expected;
        expected << in.rdbuf();
        EXPECT_EQ(dump, expected.str())
            << machine << ": run with QUAYLET_UPDATE_GOLDEN=1 and review";
    }
}

// The kernel counts its device events; a changed count makes the next lookup read the tree
// again, while handles from before still answer for the entries that went away.
TEST(SysfsRegistryTest, ANewEventCountRereadsTheTreeOnceAHeldRunOfLookupsHasEnded) {
    const testing::TemporaryDirectory directory;
    const std::filesystem::path root = directory.path() + "/sys";
    std::filesystem::create_directory_symlink(testing::fixturePath("laptop-dock", "sys"), root);
    SysfsRegistry registry(root.string());
    testing::attachLedger(registry);
    RegistryHandle ssd = kNoRegistryObject;
    {
        const RegistryLookups lookups(registry);
        ssd = registry.serviceForBsdName("sda");
        ASSERT_NE(ssd, kNoRegistryObject);
        std::filesystem::remove(root);
        std::filesystem::create_directory_symlink(testing::fixturePath("laptop-undocked", "sys"),
                                                  root);
        const RegistryHandle again = registry.serviceForBsdName("sda");
        EXPECT_NE(again, kNoRegistryObject); // found again, in the tree that is gone
        registry.release(again);
    }
    EXPECT_EQ(registry.serviceForBsdName("sda"), kNoRegistryObject);
    EXPECT_EQ(registry.className(ssd), "IOMedia");
    registry.release(ssd);
    EXPECT_TRUE(testing::noHandlesLeft(registry));
}

} // namespace
} // namespace quaylet
