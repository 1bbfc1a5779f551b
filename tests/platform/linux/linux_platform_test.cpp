// Tests of makeLinuxPlatform over a fixture device tree: every service is there and reads it.
#include <string>

#include <gtest/gtest.h>

#include "platform/linux/linux_platform.h"
#include "tests/support/test_paths.h"

namespace quaylet {
namespace {

TEST(LinuxPlatformTest, FillsEveryServiceOverTheGivenTree) {
    LinuxPlatformError error;
    std::optional<Platform> platform =
        makeLinuxPlatform(LinuxPlatformOptions{testing::fixturePath("laptop-dock", "sys")}, error);
    ASSERT_TRUE(platform) << error.code.message();
    EXPECT_TRUE(platform->registry && platform->mountTable && platform->mountMonitor &&
                platform->fileManager && platform->deviceNaming && platform->processRunner &&
                platform->mountPointProbe && platform->applicationLookup);

    EXPECT_GE(platform->mountMonitor->descriptor(), 0);
    EXPECT_FALSE(platform->mountTable->entries().empty()) << "this process's mounts";
}

TEST(LinuxPlatformTest, AnUnreadableTreeIsAnErrorThatNamesIt) {
    LinuxPlatformError error;
    const std::string root = testing::fixturePath("no-such-machine", "sys");
    EXPECT_FALSE(makeLinuxPlatform(LinuxPlatformOptions{root}, error));
    EXPECT_EQ(error.kind, LinuxPlatformError::Kind::DeviceTree);
    EXPECT_EQ(error.path, root + "/devices");
    EXPECT_EQ(error.code, std::errc::no_such_file_or_directory);
}

} // namespace
} // namespace quaylet
