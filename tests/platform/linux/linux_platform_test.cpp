// Tests of makeLinuxPlatform over a fixture device tree: every service is there and reads it.
#include <string>

#include <gtest/gtest.h>

#include "platform/linux/linux_platform.h"
#include "tests/support/test_paths.h"

namespace quaylet {
namespace {

TEST(LinuxPlatformTest, FillsEveryServiceOverTheGivenTree) {
    std::string error = "stale";
    std::optional<Platform> platform =
        makeLinuxPlatform(LinuxPlatformOptions{testing::fixturePath("laptop-dock", "sys")}, error);
    ASSERT_TRUE(platform) << error;
    EXPECT_TRUE(error.empty());
    EXPECT_TRUE(platform->registry && platform->mountTable && platform->mountMonitor &&
                platform->fileManager && platform->deviceNaming && platform->processRunner &&
                platform->mountPointProbe && platform->applicationLookup);

    EXPECT_GE(platform->mountMonitor->descriptor(), 0);
    EXPECT_FALSE(platform->mountTable->entries().empty()) << "this process's mounts";
}

TEST(LinuxPlatformTest, AnUnreadableTreeIsAnErrorThatNamesIt) {
    std::string error;
    const std::string root = testing::fixturePath("no-such-machine", "sys");
    EXPECT_FALSE(makeLinuxPlatform(LinuxPlatformOptions{root}, error));
    EXPECT_NE(error.find(root), std::string::npos) << error;
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
}

} // namespace
} // namespace quaylet
