// The release gate and the scan on real loop devices placed on the docked laptop's device tree:
// a btrfs spanning a laptop-port stick and the dock's disk, swap in a file on a dock volume,
// and a disk image attached from a dock volume with nothing mounted from it.
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "eject/release_gate.h"
#include "platform/linux/linux_platform.h"
#include "tests/support/child_process.h"
#include "tests/support/copied_device_tree.h"
#include "tests/support/loop_disk.h"
#include "tests/support/real_system.h"
#include "tests/support/test_paths.h"
#include "volumes/scan_volumes.h"

namespace quaylet {
namespace {

namespace fs = std::filesystem;
using testing::LoopDisk;
using Kind = RemainingHold::Kind;

/// The dock SSD's SCSI device, and the laptop's own USB stick's, in the docked laptop's tree.
constexpr const char* kDockSsd =
    "devices/pci0000:00/0000:00:07.0/0000:20:00.0/0000:21:01.0/0000:23:00.0/usb6/6-1/6-1.2/"
    "6-1.2:1.0/host0/target0:0:0/0:0:0:0";
constexpr const char* kLaptopStick =
    "devices/pci0000:00/0000:00:14.0/usb2/2-2/2-2:1.0/host2/target2:0:0/2:0:0:0";

/// Runs a command when the test ends, in every outcome (unmount, swapoff).
class AtEnd {
public:
    AtEnd(std::vector<std::string> argv, std::string directory)
        : argv_(std::move(argv)), directory_(std::move(directory)) {}
    AtEnd(const AtEnd&) = delete;
    AtEnd& operator=(const AtEnd&) = delete;
    ~AtEnd() { testing::runCaptured(argv_, directory_); }

private:
    std::vector<std::string> argv_;
    std::string directory_;
};

bool holdsAt(const ReleaseCheck& check, Kind kind, const std::string& path) {
    for (const RemainingHold& hold : check.holds) {
        if (hold.kind == kind && hold.path == path) {
            return true;
        }
    }
    return false;
}

class ReleaseGateRealTest : public ::testing::Test {
protected:
    void SetUp() override {
        QUAYLET_REQUIRE_REAL_SYSTEM();
        ASSERT_FALSE(scratch.path().empty());
        ASSERT_TRUE(tree.ok());
    }

    /// Runs `argv`; returns whether it exited 0, reporting its errors otherwise.
    bool run(const std::vector<std::string>& argv) {
        const testing::CapturedRun result = testing::runCaptured(argv, scratch.path());
        EXPECT_EQ(result.status, 0) << argv[0] << ": " << result.errors;
        return result.status == 0;
    }

    /// The live platform reading the copied tree.
    Platform& platform() {
        std::string error;
        live = makeLinuxPlatform(LinuxPlatformOptions{tree.root()}, error);
        EXPECT_TRUE(live) << error;
        return *live;
    }

    /// A new image file of `sizeMiB` attached to a loop device, nothing mounted from it.
    std::unique_ptr<LoopDisk> attachNew(const std::string& imageFile, unsigned sizeMiB) {
        std::string error;
        auto disk = LoopDisk::create(imageFile, sizeMiB, {}, error);
        EXPECT_TRUE(disk) << error;
        return disk;
    }

    testing::TemporaryDirectory scratch;
    testing::CopiedDeviceTree tree{"laptop-dock", scratch.path() + "/sys"};
    std::optional<Platform> live;
};

TEST_F(ReleaseGateRealTest,
       ABtrfsOverALaptopStickAndTheDocksDiskIsTheDocksThoughMountedFromTheStick) {
    const std::string stickImage = scratch.path() + "/stick.img";
    const std::string dockImage = scratch.path() + "/dock.img";
    auto stick = attachNew(stickImage, 128);
    auto dock = attachNew(dockImage, 128);
    ASSERT_TRUE(stick && dock);
    const std::string mountPoint = scratch.path() + "/mnt/Span";
    fs::create_directories(mountPoint);
    const AtEnd forget({"/usr/bin/btrfs", "device", "scan", "--forget"}, scratch.path());
    ASSERT_TRUE(run({"/sbin/mkfs.btrfs", "-q", "-f", "-d", "single", "-m", "raid1",
                     stick->loop().path(), dock->loop().path()}));
    ASSERT_TRUE(run({"/bin/mount", "-t", "btrfs", "-o", "device=" + dock->loop().path(),
                     stick->loop().path(), mountPoint}));
    const AtEnd unmount({"/bin/umount", mountPoint}, scratch.path());
    ASSERT_TRUE(tree.place(kLaptopStick, stick->loop().path(), stickImage) &&
                tree.place(kDockSsd, dock->loop().path(), dockImage));
    ASSERT_TRUE(tree.copyBtrfsMembers(fs::path(stick->loop().path()).filename()));

    Platform& system = platform();
    UnplugPlan plan;
    bool bootVolume = false;
    scanVolumes(ScanSources{*system.registry, *system.mountTable, *system.fileManager,
                            *system.deviceNaming},
                plan, false, bootVolume);
    ASSERT_EQ(plan.dockVolumes.size(), 1u);
    EXPECT_EQ(plan.dockVolumes[0].mountPoint, mountPoint);
    const ReleaseCheck check = checkRelease(system, false);
    EXPECT_TRUE(check.complete) << check.unreadable;
    EXPECT_TRUE(holdsAt(check, Kind::MountedVolume, mountPoint));
}

TEST_F(ReleaseGateRealTest, SwapInAFileOnADockVolumeHoldsTheDock) {
    std::string error;
    const auto volume =
        LoopDisk::create(scratch.path() + "/dock.img", 48, {scratch.path() + "/mnt/Dock"}, error);
    ASSERT_TRUE(volume) << error;
    const std::string swapFile = volume->fileSystem().mountPoint() + "/swapfile";
    {
        // swapon refuses a file with holes: the file is written out.
        std::ofstream file(swapFile, std::ios::binary);
        const std::vector<char> zeros(1 << 20, '\0');
        for (int i = 0; i < 8; ++i) {
            file.write(zeros.data(), static_cast<std::streamsize>(zeros.size()));
        }
    }
    fs::permissions(swapFile, fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_TRUE(run({"/sbin/mkswap", swapFile}));
    const AtEnd swapOff({"/sbin/swapoff", swapFile}, scratch.path());
    ASSERT_TRUE(run({"/sbin/swapon", swapFile}));
    ASSERT_TRUE(tree.place(kDockSsd, volume->loop().path(), volume->imageFile()));

    const ReleaseCheck check = checkRelease(platform(), false);
    EXPECT_TRUE(holdsAt(check, Kind::Swap, swapFile));
    EXPECT_TRUE(holdsAt(check, Kind::MountedVolume, volume->fileSystem().mountPoint()));
}

TEST_F(ReleaseGateRealTest, AnImageAttachedFromADockVolumeHoldsTheDockWithNothingMounted) {
    std::string error;
    const auto volume =
        LoopDisk::create(scratch.path() + "/dock.img", 48, {scratch.path() + "/mnt/Dock"}, error);
    ASSERT_TRUE(volume) << error;
    const std::string innerImage = volume->fileSystem().mountPoint() + "/inner.img";
    auto inner = attachNew(innerImage, 8);
    ASSERT_TRUE(inner);
    ASSERT_TRUE(tree.place(kDockSsd, volume->loop().path(), volume->imageFile()) &&
                tree.place("", inner->loop().path(), innerImage));

    const ReleaseCheck check = checkRelease(platform(), false);
    EXPECT_TRUE(holdsAt(check, Kind::AttachedImage, innerImage));
}

} // namespace
} // namespace quaylet
