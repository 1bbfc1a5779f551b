// quaylet-cli unplug end to end on the docked laptop's device tree, in which the dock's USB SSD
// is a loop device of this system: real mounts, a chain of disk images, a busy child, and a
// slow disk holding tens of megabytes not yet written.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
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

using testing::LoopDisk;

const std::string kCli = std::string(testing::kProgramsDir) + "/quaylet-cli";
/// The volumes: the dock SSD, then images One in it, Two in One, Three in Two, Four in Three.
const std::vector<std::string> kNames = {"DockSSD", "One", "Two", "Three", "Four"};

class QuayletCliRealTest : public testing::RealSystemTest {
protected:
    ~QuayletCliRealTest() override {
        child.reset(); // nothing may keep a volume busy while the volumes go
        cover.reset(); // uppermost first
        while (!volumes.empty()) {
            volumes.pop_back(); // innermost first
        }
        other.reset();
    }

    std::string mountPoint(std::size_t index) const { return at("mnt/" + kNames[index]); }

    /// Mounts the dock SSD and the first `count` images, each image file on the volume before.
    bool mountChain(std::size_t count = kNames.size() - 1) {
        std::string folder = scratch.path();
        unsigned size = 48;
        for (std::size_t i = 0; i <= count; ++i, size /= 2) {
            volumes.push_back(loopDisk(folder + "/" + kNames[i] + ".img", size, {mountPoint(i)}));
            if (!volumes.back()) {
                return false;
            }
            folder = mountPoint(i);
        }
        return true;
    }

    /// Makes this system's loop devices the copied tree's: the SSD's a disk of the dock's SSD,
    /// the images' loop devices as loop devices.
    bool makeTree() {
        for (std::size_t i = 0; i < volumes.size(); ++i) {
            if (!tree.place(i == 0 ? testing::kDockSsd : "", volumes[i]->loop().path(),
                            volumes[i]->imageFile())) {
                return false;
            }
        }
        return tree.ok();
    }

    testing::CapturedRun unplug(const std::vector<std::string>& options = {}) {
        std::vector<std::string> argv = {kCli, "unplug", "--sysfs", tree.root()};
        argv.insert(argv.end(), options.begin(), options.end());
        return testing::runCaptured(argv, scratch.path());
    }

    /// Mounts a disk of the laptop's own, which the tree does not have, at `mountPoint`.
    bool mountOtherDisk(const std::string& mountPoint) {
        other = loopDisk(at("other.img"), 8, {mountPoint});
        return other != nullptr;
    }

    testing::CopiedDeviceTree tree{"laptop-dock", at("sys")};
    std::unique_ptr<LoopDisk> other;
    std::optional<testing::MountedFileSystem> cover;
    std::vector<std::unique_ptr<LoopDisk>> volumes;
    std::optional<testing::ChildProcess> child;
    LibmountMountPointProbe probe;
};

TEST_F(QuayletCliRealTest, NamesTheFirstBusyVolumeAndTheChildThenUnplugsOnceBothAreGone) {
    ASSERT_TRUE(mountChain());
    ASSERT_TRUE(makeTree());

    // The plan: three image levels, innermost first, then the dock SSD; never the fourth image,
    // which keeps Three busy. A child works on Two.
    child = testing::ChildProcess::start({"/bin/sleep", "600"}, mountPoint(2));
    ASSERT_TRUE(child);
    const auto busy = unplug();
    EXPECT_EQ(busy.status, 1) << busy.errors;
    EXPECT_TRUE(busy.output.starts_with("Thunderbolt Dock\nDo not unplug the dock yet.\n"
                                        "“Three” is still in use by sleep. Quit it and try "
                                        "again.\nHeld by:\n"))
        << busy.output;
    // What keeps Three itself mounted is the fourth image, attached from it.
    EXPECT_NE(busy.output.find("Four.img"), std::string::npos) << busy.output;
    EXPECT_EQ(busy.errors, "Could not unmount Three (" + mountPoint(3) +
                               ")\nCould not unmount Two (" + mountPoint(2) +
                               ")\nCould not unmount One (" + mountPoint(1) +
                               ")\nCould not unmount DockSSD (" + mountPoint(0) + ")\n");
    for (const auto& volume : volumes) {
        EXPECT_TRUE(volume->fileSystem().isMounted()) << volume->fileSystem().mountPoint();
        EXPECT_TRUE(volume->loop().isAttached()) << volume->loop().path();
    }

    // The child ends, and the fourth image, which no unplug plans, is unmounted by hand.
    child.reset();
    volumes.pop_back();
    const auto safe = unplug();
    EXPECT_EQ(safe.status, 0) << safe.errors;
    EXPECT_EQ(safe.output, "Thunderbolt Dock\nIt is safe to unplug the dock.\n");
    EXPECT_EQ(safe.errors, "Unmounted Three (" + mountPoint(3) + ")\nUnmounted Two (" +
                               mountPoint(2) + ")\nUnmounted One (" + mountPoint(1) +
                               ")\nUnmounted DockSSD (" + mountPoint(0) + ")\n");
    for (const auto& volume : volumes) {
        EXPECT_FALSE(probe.isMounted(volume->fileSystem().mountPoint(), {}));
        EXPECT_TRUE(volume->loop().detachesSoon()) << volume->loop().path();
    }
}

TEST_F(QuayletCliRealTest, AnotherDiskMountedOverTheDockSsdIsLeftAloneAndTheDockIsNotSafe) {
    ASSERT_TRUE(mountOtherDisk(at("internal")));
    ASSERT_TRUE(mountChain(0));
    ASSERT_TRUE(makeTree());
    std::string error;
    auto mounted = testing::MountedFileSystem::mount(other->loop().path(), mountPoint(0), error);
    ASSERT_TRUE(mounted) << error;
    cover.emplace(std::move(*mounted));

    const auto run = unplug();
    EXPECT_EQ(run.status, 1) << run.errors;
    EXPECT_NE(run.output.find("Do not unplug the dock yet."), std::string::npos) << run.output;
    EXPECT_TRUE(cover->isMounted());
    EXPECT_TRUE(other->fileSystem().isMounted());
    EXPECT_TRUE(
        probe.isMounted(mountPoint(0), testing::blockDeviceNumber(volumes[0]->loop().path())));
}

TEST_F(QuayletCliRealTest, AFileSystemLeftUnderTheDockSsdStaysAndTheDockIsSafe) {
    ASSERT_TRUE(mountOtherDisk(mountPoint(0)));
    ASSERT_TRUE(mountChain(0));
    ASSERT_TRUE(makeTree());

    const auto run = unplug();
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(run.output, "Thunderbolt Dock\nIt is safe to unplug the dock.\n");
    EXPECT_TRUE(volumes[0]->loop().detachesSoon());
    EXPECT_TRUE(other->fileSystem().isMounted());
}

constexpr std::size_t kFiles = 4;
constexpr std::size_t kFileBytes = 8 << 20; // 32 MiB in all, at 6 MB/s: about five seconds

/// Returns a checksum of the contents of the file at `path`.
std::size_t checksum(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::hash<std::string>{}(std::string(std::istreambuf_iterator<char>(file), {}));
}

/// The dock SSD on a slow disk: a loop device over an image on a FUSE file system that takes its
/// time over every write (6 MB/s).
class UnplugSlowDiskTest : public QuayletCliRealTest {
protected:
    void TearDown() override {
        remounted.reset();
        reattached.reset();
        volumes.clear();
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
    volumes.push_back(loopDisk(at("fuse/dock.img"), 64, {mountPoint(0)}));
    ASSERT_TRUE(volumes.back() && makeTree());
    // The device's own writeback figures are in debugfs.
    ::mount("debugfs", "/sys/kernel/debug", "debugfs", 0, nullptr);
    std::vector<std::size_t> sums;
    std::mt19937_64 random(11);
    for (std::size_t i = 0; i < kFiles; ++i) {
        std::string data(kFileBytes, '\0');
        std::generate(data.begin(), data.end(), [&random] { return static_cast<char>(random()); });
        std::ofstream(mountPoint(0) + ("/data" + std::to_string(i)), std::ios::binary) << data;
        sums.push_back(std::hash<std::string>{}(data)); // not synced: the unplug writes it out
    }

    const auto run = unplug();
    EXPECT_EQ(run.status, 0) << run.errors;
    // Each figure as printed: "about N MB left", or 0 for "less than 1 MB left".
    std::vector<int> figures;
    std::istringstream lines(run.errors);
    for (std::string line; std::getline(lines, line);) {
        const std::string about = "Writing data to DockSSD… (about ";
        if (line.starts_with(about) && line.ends_with(" MB left)")) {
            figures.push_back(std::stoi(line.substr(about.size())));
        } else if (line == "Writing data to DockSSD… (less than 1 MB left)") {
            figures.push_back(0);
        }
    }
    ASSERT_GE(figures.size(), 2U) << run.errors;
    // How much is still dirty when the first figure comes depends on when the kernel began to
    // write back; megabytes are left in any case.
    EXPECT_GE(figures.front(), 2) << run.errors;
    EXPECT_LT(figures.back(), figures.front()) << run.errors;
    EXPECT_TRUE(run.errors.ends_with("Unmounted DockSSD (" + mountPoint(0) + ")\n"));

    // Read back past the FUSE layer and every cache: from the backing file, on a new loop.
    volumes.clear();
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

TEST_F(QuayletCliRealTest, PowerOffDeauthorizesTheDockInTheTreeAndSaysWhatStayedOn) {
    ASSERT_TRUE(mountChain(0));
    ASSERT_TRUE(makeTree());
    const std::string routers = tree.root() + "/bus/thunderbolt/devices/";
    std::ofstream(routers + "domain0/deauthorization") << "1\n";

    // The SSD's disk is a loop device: no drive that udisks2, if it runs at all, could switch
    // off. The dock is switched off in the tree.
    const auto run = unplug({"--power-off"});
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_NE(run.output.find("It is safe to unplug the dock.\n“Samsung PSSD T7” was left on: "),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("\nPowered off “Dock Maker TB3 Dock”.\n"), std::string::npos)
        << run.output;
    std::stringstream authorized;
    authorized << std::ifstream(routers + "0-1/authorized").rdbuf();
    EXPECT_EQ(authorized.str(), "0\n");
}

} // namespace
} // namespace quaylet
