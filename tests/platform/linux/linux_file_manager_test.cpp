// Tests of LinuxFileManager: labels of mounted file systems, read from a mount table file.
#include <array>
#include <filesystem>
#include <fstream>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

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

    /// A mount table file with one line per (source, target, type); targets are escaped as the
    /// kernel escapes them.
    std::string mountTable(const std::vector<std::array<std::string, 3>>& mounts) {
        const std::string path = (directory_ / "mountinfo").string();
        std::ofstream file(path);
        int id = 20;
        for (const auto& [source, target, type] : mounts) {
            file << id++ << " 1 7:0 / " << target << " rw,relatime shared:1 - " << type << " "
                 << source << " rw\n";
        }
        return path;
    }

    const std::filesystem::path directory_ =
        std::filesystem::temp_directory_path() / ("quaylet-labels-" + std::to_string(::getpid()));
};

TEST_F(LinuxFileManagerTest, NamesAMountRootByItsFileSystemLabel) {
    const std::string image = (directory_ / "backup.img").string();
    std::ofstream(image).close();
    std::filesystem::resize_file(image, 4 << 20);
    if (!run({"mkfs.ext4", "-q", "-F", "-L", "Dock Backup", image})) {
        GTEST_SKIP() << "mkfs.ext4 is not available";
    }
    const std::string unlabelled = (directory_ / "plain.img").string();
    std::filesystem::copy_file(image, unlabelled);
    ASSERT_TRUE(run({"tune2fs", "-L", "", unlabelled}) || run({"e2label", unlabelled, ""}));

    const LinuxFileManager manager(mountTable({{image, "/media/user/Dock\\040Backup", "ext4"},
                                               {unlabelled, "/media/user/plain", "ext4"},
                                               {"tmpfs", "/run/user/1000", "tmpfs"}}));
    const struct {
        const char* path;
        std::optional<std::string> expected;
    } cases[] = {
        {"/media/user/Dock Backup", "Dock Backup"},
        {"/media/user/Dock Backup/", "Dock Backup"},
        {"/media/user/Dock Backup/photos", std::nullopt}, // no mount root
        {"/media/user/plain", std::nullopt},              // no label
        {"/run/user/1000", std::nullopt},                 // no device
        {"/nowhere", std::nullopt},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(manager.displayName(item.path), item.expected) << item.path;
    }
}

TEST_F(LinuxFileManagerTest, AnUnreadableMountTableNamesNothing) {
    const LinuxFileManager manager((directory_ / "absent").string());
    EXPECT_EQ(manager.displayName("/"), std::nullopt);
}

TEST(UdevEscapesTest, DecodesHexEscapesOnly) {
    EXPECT_EQ(decodeUdevEscapes("Dock\\x20Backup"), "Dock Backup");
    EXPECT_EQ(decodeUdevEscapes("a\\x2fb"), "a/b");
    EXPECT_EQ(decodeUdevEscapes("plain"), "plain");
    EXPECT_EQ(decodeUdevEscapes("end\\x2"), "end\\x2");
    EXPECT_EQ(decodeUdevEscapes("bad\\xzz"), "bad\\xzz");
}

} // namespace
} // namespace quaylet
