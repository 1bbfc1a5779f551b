// Detaching a loop device on the real system: nothing of the detach stays open.
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/linux/loop_device.h"
#include "tests/support/real_system.h"

namespace quaylet {
namespace {

namespace fs = std::filesystem;

/// Whether this process has `devicePath` open.
bool holdsOpen(const std::string& devicePath) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd", error)) {
        if (fs::read_symlink(entry.path(), error) == devicePath) {
            return true;
        }
    }
    return false;
}

class LoopDeviceTest : public testing::RealSystemTest {};

TEST_F(LoopDeviceTest, DetachingLeavesNoDescriptorOfTheDeviceOpen) {
    const auto disk = loopDisk(at("loop.img"), 8, {});
    ASSERT_TRUE(disk);
    EXPECT_FALSE(detachLoopDevice(disk->loop().path()));
    EXPECT_FALSE(holdsOpen(disk->loop().path()));
    EXPECT_TRUE(disk->loop().detachesSoon());
}

} // namespace
} // namespace quaylet
