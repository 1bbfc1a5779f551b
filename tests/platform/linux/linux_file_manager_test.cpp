// Tests of LinuxFileManager: labels of mounted file systems.
#include <filesystem>
#include <fstream>

#include <spawn.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/linux/hex_escapes.h"
#include "platform/linux/linux_file_manager.h"

extern char** environ;

namespace quaylet {
namespace {

/// Runs a program from an argument vector; returns whether it exited with status 0.
bool run(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    if (::posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        return false;
    }
    int status = 0;
    return ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class LinuxFileManagerTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(directory_); }
    void TearDown() override { std::filesystem::remove_all(directory_); }

    const std::filesystem::path directory_ =
        std::filesystem::temp_directory_path() / ("quaylet-labels-" + std::to_string(::getpid()));
};

TEST_F(LinuxFileManagerTest, NamesAFileSystemByItsLabel) {
    const std::string image = (directory_ / "backup.img").string();
    std::ofstream(image).close();
    std::filesystem::resize_file(image, 4 << 20);
    if (!run({"mkfs.ext4", "-q", "-F", "-L", "Dock Backup", image})) {
        GTEST_SKIP() << "mkfs.ext4 is not available";
    }
    const std::string unlabelled = (directory_ / "plain.img").string();
    std::filesystem::copy_file(image, unlabelled);
    ASSERT_TRUE(run({"tune2fs", "-L", "", unlabelled}) || run({"e2label", unlabelled, ""}));

    const LinuxFileManager manager;
    const struct {
        MountEntry mount;
        std::optional<std::string> expected;
    } cases[] = {
        {{image, "/media/user/Dock Backup", "ext4"}, "Dock Backup"},
        {{unlabelled, "/media/user/plain", "ext4"}, std::nullopt},
        {{"tmpfs", "/run/user/1000", "tmpfs", makedev(0, 50)}, std::nullopt},
        {{(directory_ / "gone.img").string(), "/media/user/gone", "ext4"}, std::nullopt},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(manager.displayName(item.mount), item.expected) << item.mount.mountPoint;
    }
}

TEST(UdevEscapesTest, DecodesHexEscapesOnly) {
    EXPECT_EQ(decodeHexEscapes("Dock\\x20Backup"), "Dock Backup");
    EXPECT_EQ(decodeHexEscapes("a\\x2fb"), "a/b");
    EXPECT_EQ(decodeHexEscapes("plain"), "plain");
    EXPECT_EQ(decodeHexEscapes("end\\x2"), "end\\x2");
    EXPECT_EQ(decodeHexEscapes("bad\\xzz"), "bad\\xzz");
}

} // namespace
} // namespace quaylet
