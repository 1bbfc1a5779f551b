// Tests of LinuxFileManager: labels of mounted file systems.
#include <filesystem>
#include <fstream>

#include <sys/sysmacros.h>

#include <gtest/gtest.h>

#include "platform/linux/linux_file_manager.h"
#include "tests/support/child_process.h"
#include "tests/support/test_paths.h"

namespace quaylet {
namespace {

TEST(LinuxFileManagerTest, NamesAFileSystemByItsLabel) {
    const testing::TemporaryDirectory scratch;
    const auto runs = [&scratch](const std::vector<std::string>& argv) {
        return testing::runCaptured(argv, scratch.path()).status == 0;
    };
    const std::filesystem::path directory = scratch.path();
    const std::string image = (directory / "backup.img").string();
    std::ofstream(image).close();
    std::filesystem::resize_file(image, 4 << 20);
    if (!runs({"/sbin/mkfs.ext4", "-q", "-F", "-L", "Dock Backup", image})) {
        GTEST_SKIP() << "mkfs.ext4 is not available";
    }
    const std::string unlabelled = (directory / "plain.img").string();
    std::filesystem::copy_file(image, unlabelled);
    ASSERT_TRUE(runs({"/sbin/tune2fs", "-L", "", unlabelled}) ||
                runs({"/sbin/e2label", unlabelled, ""}));

    const LinuxFileManager manager;
    const struct {
        MountEntry mount;
        std::optional<std::string> expected;
    } cases[] = {
        {{image, "/media/user/Dock Backup", "ext4"}, "Dock Backup"},
        {{unlabelled, "/media/user/plain", "ext4"}, std::nullopt},
        {{"tmpfs", "/run/user/1000", "tmpfs", makedev(0, 50)}, std::nullopt},
        {{(directory / "gone.img").string(), "/media/user/gone", "ext4"}, std::nullopt},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(manager.displayName(item.mount), item.expected) << item.mount.mountPoint;
    }
}

} // namespace
} // namespace quaylet
