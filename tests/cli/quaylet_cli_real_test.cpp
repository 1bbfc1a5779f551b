// quaylet-cli unplug end to end on the docked laptop's device tree, in which the dock's USB SSD
// is a loop device of this system: real mounts, a chain of disk images and a busy child.
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

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
    EXPECT_EQ(busy.output, "Thunderbolt Dock\nDo not unplug the dock yet.\n"
                           "“Three” is still in use by sleep. Quit it and try again.\n");
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
