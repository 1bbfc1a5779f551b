// quaylet-cli unplug of a dock SSD that writes slowly, holding tens of megabytes not yet written:
// a loop device over an image on a FUSE file system that takes its time over every write.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <sys/mount.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include "platform/linux/libmount_mount_table.h"
#include "tests/support/child_process.h"
#include "tests/support/copied_device_tree.h"
#include "tests/support/real_system.h"

namespace quaylet {
namespace {

const std::string kCli = std::string(testing::kProgramsDir) + "/quaylet-cli";
constexpr std::size_t kFiles = 4;
constexpr std::size_t kFileBytes = 8 << 20; // 32 MiB in all, at 6 MB/s: about five seconds

/// Returns a checksum of the contents of the file at `path`.
std::size_t checksum(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::hash<std::string>{}(std::string(std::istreambuf_iterator<char>(file), {}));
}

class UnplugSlowDiskTest : public testing::RealSystemTest {
protected:
    void TearDown() override {
        remounted.reset();
        reattached.reset();
        disk.reset();
        EXPECT_TRUE(stopFuse()) << "the FUSE mount stayed or its daemon was not reaped";
        ::umount2("/sys/kernel/debug", 0); // mounted in this namespace only
    }

    bool fuseMounted() const { return LibmountMountPointProbe().isMounted(at("fuse"), 0); }

    /// Unmounts the slow file system (never lazily), then kills and reaps its daemon; returns
    /// whether the mount is gone and no child is left to reap.
    bool stopFuse() {
        for (int attempt = 0;
             attempt < 50 && fuseMounted() && ::umount2(at("fuse").c_str(), 0) != 0; ++attempt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        daemon.reset();
        return !fuseMounted() && ::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
    }

    std::optional<testing::ChildProcess> daemon;
    std::unique_ptr<testing::LoopDisk> disk;
    std::optional<testing::AttachedLoopDevice> reattached;
    std::optional<testing::MountedFileSystem> remounted;
};

TEST_F(UnplugSlowDiskTest, SaysWhatIsLeftToWriteUntilTheDockSsdIsUnmountedAndLosesNothing) {
    ASSERT_NE(std::string(QUAYLET_SLOW_FUSE_DISK), "") << "slow_fuse_disk was not built (libfuse3)";
    std::filesystem::create_directories(at("backing"));
    std::filesystem::create_directories(at("fuse"));
    daemon = testing::ChildProcess::start(
        {QUAYLET_SLOW_FUSE_DISK, at("backing"), at("fuse"), "6000000"});
    for (int wait = 0; daemon && wait < 100 && !fuseMounted(); ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(fuseMounted());
    disk = loopDisk(at("fuse/dock.img"), 64, {at("mnt/DockSSD")});
    ASSERT_TRUE(disk);
    testing::CopiedDeviceTree tree("laptop-dock", at("sys"));
    ASSERT_TRUE(tree.place(testing::kDockSsd, disk->loop().path(), disk->imageFile()));
    // The device's own writeback figures are in debugfs.
    ::mount("debugfs", "/sys/kernel/debug", "debugfs", 0, nullptr);
    std::vector<std::size_t> sums;
    std::mt19937_64 random(11);
    for (std::size_t i = 0; i < kFiles; ++i) {
        std::string data(kFileBytes, '\0');
        std::generate(data.begin(), data.end(), [&random] { return static_cast<char>(random()); });
        std::ofstream(at("mnt/DockSSD/data" + std::to_string(i)), std::ios::binary) << data;
        sums.push_back(std::hash<std::string>{}(data)); // not synced: the unplug writes it out
    }

    const auto run = testing::runCaptured({kCli, "unplug", "--sysfs", tree.root()}, scratch.path());
    EXPECT_EQ(run.status, 0) << run.errors;
    const std::regex line("Writing data to DockSSD… \\((about (\\d+)|less than 1) MB left\\)\n");
    std::vector<int> figures;
    for (std::sregex_iterator it(run.errors.begin(), run.errors.end(), line), end; it != end;
         ++it) {
        figures.push_back((*it)[2].matched ? std::stoi((*it)[2]) : 0);
    }
    ASSERT_GE(figures.size(), 2U) << run.errors;
    EXPECT_GE(figures.front(), 10) << run.errors;
    EXPECT_LT(figures.back(), figures.front()) << run.errors;
    EXPECT_TRUE(run.errors.ends_with("Unmounted DockSSD (" + at("mnt/DockSSD") + ")\n"));

    // Read back past the FUSE layer and every cache: from the backing file, on a new loop.
    disk.reset();
    ASSERT_TRUE(stopFuse());
    std::string error;
    auto loop = testing::AttachedLoopDevice::attach(at("backing/dock.img"), false, error);
    ASSERT_TRUE(loop) << error;
    reattached.emplace(std::move(*loop));
    auto mounted = testing::MountedFileSystem::mount(reattached->path(), at("check"), error);
    ASSERT_TRUE(mounted) << error;
    remounted.emplace(std::move(*mounted));
    for (std::size_t i = 0; i < kFiles; ++i) {
        EXPECT_EQ(checksum(at("check/data" + std::to_string(i))), sums[i]) << "data" << i;
    }
}

} // namespace
} // namespace quaylet
