// The release gate and the scan on real loop devices placed on the docked laptop's device tree:
// a btrfs spanning a laptop-port stick and the dock's disk. (Swap files and attached images on
// dock volumes: the release gate's test over recorded lists.)
#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "eject/release_gate.h"
#include "platform/linux/linux_platform.h"
#include "tests/support/child_process.h"
#include "tests/support/copied_device_tree.h"
#include "tests/support/real_system.h"
#include "volumes/scan_volumes.h"

namespace quaylet {
namespace {

namespace fs = std::filesystem;
using Kind = RemainingHold::Kind;

using testing::kDockSsd;
/// The laptop's own USB stick's SCSI device in the docked laptop's tree.
constexpr const char* kLaptopStick =
    "devices/pci0000:00/0000:00:14.0/usb2/2-2/2-2:1.0/host2/target2:0:0/2:0:0:0";

class ReleaseGateRealTest : public testing::RealSystemTest {
protected:
    void SetUp() override {
        RealSystemTest::SetUp();
        ASSERT_TRUE(tree.ok());
    }

    /// Runs `argv`; returns whether it exited 0, reporting its errors otherwise.
    bool run(const std::vector<std::string>& argv) {
        const testing::CapturedRun result = testing::runCaptured(argv, scratch.path());
        EXPECT_EQ(result.status, 0) << argv[0] << ": " << result.errors;
        return result.status == 0;
    }

    /// Runs `argv` when the owner it returns goes, in every outcome (unmount, forget).
    std::shared_ptr<void> atEnd(std::vector<std::string> argv) const {
        return {nullptr, [argv = std::move(argv), directory = scratch.path()](void*) {
                    testing::runCaptured(argv, directory);
                }};
    }

    /// The live platform reading the copied tree.
    Platform& platform() {
        LinuxPlatformError error;
        live = makeLinuxPlatform(LinuxPlatformOptions{tree.root()}, error);
        EXPECT_TRUE(live) << error.code.message();
        return *live;
    }

    testing::CopiedDeviceTree tree{"laptop-dock", at("sys")};
    std::optional<Platform> live;
};

TEST_F(ReleaseGateRealTest,
       ABtrfsOverALaptopStickAndTheDocksDiskIsTheDocksThoughMountedFromTheStick) {
    auto stick = loopDisk(at("stick.img"), 128, {});
    auto dock = loopDisk(at("dock.img"), 128, {});
    ASSERT_TRUE(stick && dock);
    const std::string mountPoint = at("mnt/Span");
    fs::create_directories(mountPoint);
    const auto forget = atEnd({"/usr/bin/btrfs", "device", "scan", "--forget"});
    ASSERT_TRUE(run({"/sbin/mkfs.btrfs", "-q", "-f", "-d", "single", "-m", "raid1",
                     stick->loop().path(), dock->loop().path()}));
    ASSERT_TRUE(run({"/bin/mount", "-t", "btrfs", "-o", "device=" + dock->loop().path(),
                     stick->loop().path(), mountPoint}));
    const auto unmount = atEnd({"/bin/umount", mountPoint});
    ASSERT_TRUE(tree.place(kLaptopStick, stick->loop().path(), stick->imageFile()) &&
                tree.place(kDockSsd, dock->loop().path(), dock->imageFile()));
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
    EXPECT_TRUE(std::ranges::any_of(check.holds, [&](const RemainingHold& hold) {
        return hold.kind == Kind::MountedVolume && hold.path == mountPoint;
    }));
}

} // namespace
} // namespace quaylet
