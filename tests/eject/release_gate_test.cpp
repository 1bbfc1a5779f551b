// The release gate over the fixture laptops' device trees, with recorded mount and swap lists.
#include <cstdio>
#include <fstream>
#include <memory>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "eject/release_gate.h"
#include "platform/linux/linux_storage_usage.h"
#include "platform/linux/sysfs_registry.h"
#include "platform/memory/memory_file_manager.h"
#include "tests/support/probed_registry.h"
#include "tests/support/test_paths.h"

namespace quaylet {
namespace {

using Kind = RemainingHold::Kind;

constexpr const char* kSwapHeader = "Filename\tType\tSize\tUsed\tPriority\n";

class ReleaseGateTest : public ::testing::Test {
protected:
    /// The platform of fixture `machine` with `mountInfo` and `swaps` as its recorded lists
    /// (`swaps` null: no swap list to read).
    Platform& machine(const std::string& name, const std::string& mountInfo, const char* swaps) {
        const std::string root = std::string(testing::kFixturesDir) + "/" + name + "/sys";
        std::ofstream(scratch.path() + "/mountinfo") << mountInfo;
        const std::string swapsPath = scratch.path() + "/swaps";
        std::remove(swapsPath.c_str());
        if (swaps != nullptr) {
            std::ofstream(swapsPath) << kSwapHeader << swaps;
        }
        auto registry = std::make_unique<SysfsRegistry>(root);
        sysfsRegistry = registry.get();
        testing::attachLedger(*registry);
        platform.registry = std::move(registry);
        platform.fileManager = std::make_unique<MemoryFileManager>();
        platform.storageUsage = std::make_unique<LinuxStorageUsage>(
            root, MountSourceNodes::Recorded, scratch.path() + "/mountinfo", swapsPath);
        return platform;
    }

    testing::TemporaryDirectory scratch;
    Platform platform;
    SysfsRegistry* sysfsRegistry = nullptr;
};

MATCHER_P3(IsHold, kind, name, path, "") {
    return arg.kind == kind && arg.name == name && arg.path == path;
}

TEST_F(ReleaseGateTest, NamesEveryMountSwapAndImageStandingOnTheDocksDisks) {
    // The root is internal; Span is LVM over the laptop's stick (first) and the dock's stick;
    // the mirror is RAID1 of the internal disk and the enclosure reached over NVMe multipath;
    // Scratch is mounted from an image whose file lies on the dock's SSD.
    const char* mountInfo = "1 0 259:2 / / rw - ext4 /dev/nvme0n1p2 rw\n"
                            "2 1 254:3 / /media/user/Span rw - ext4 /dev/mapper/vgspan-data rw\n"
                            "3 1 8:1 / /media/user/DockSSD rw - exfat /dev/sda1 rw\n"
                            "4 3 259:6 / /media/user/Scratch rw - ext4 /dev/loop0p1 rw\n"
                            "5 1 0:40 / /tmp rw - tmpfs tmpfs rw\n"
                            "6 1 9:127 / /srv/mirror rw - ext4 /dev/md127 rw\n";
    const char* swaps = "/dev/dm-1\tpartition\t1000\t0\t-2\n"
                        "/media/user/Span/swap\\040file\tfile\t1000\t0\t-3\n"
                        "/swapfile\tfile\t1000\t0\t-4\n";
    const ReleaseCheck check = checkRelease(machine("laptop-dock-stacks", mountInfo, swaps), false);
    EXPECT_TRUE(check.complete);
    EXPECT_THAT(
        check.holds,
        ::testing::ElementsAre(
            IsHold(Kind::MountedVolume, "Span", "/media/user/Span"),
            IsHold(Kind::MountedVolume, "DockSSD", "/media/user/DockSSD"),
            IsHold(Kind::MountedVolume, "Scratch", "/media/user/Scratch"),
            IsHold(Kind::MountedVolume, "mirror", "/srv/mirror"),
            IsHold(Kind::Swap, "/dev/dm-1", "/dev/dm-1"),
            IsHold(Kind::Swap, "/media/user/Span/swap file", "/media/user/Span/swap file"),
            IsHold(Kind::AttachedImage, "scratch.img", "/media/user/DockSSD/images/scratch.img"),
            IsHold(Kind::AttachedImage, "old.img", "/media/user/DockSSD/images/old.img")));
    EXPECT_EQ(testing::ledgerOf(*sysfsRegistry).outstanding(), 0u);
}

TEST_F(ReleaseGateTest, EverythingTakesExternalStorageAndAnUnreadableListIsNeverClear) {
    const char* mountInfo = "1 0 259:2 / / rw - ext4 /dev/nvme0n1p2 rw\n"
                            "2 1 8:33 / /media/user/FIT rw - vfat /dev/sdc1 rw\n";
    EXPECT_TRUE(checkRelease(machine("laptop-undocked", mountInfo, ""), false).clear());
    const ReleaseCheck everything = checkRelease(platform, true);
    EXPECT_THAT(everything.holds,
                ::testing::ElementsAre(IsHold(Kind::MountedVolume, "FIT", "/media/user/FIT")));

    const ReleaseCheck noSwaps =
        checkRelease(machine("laptop-undocked", mountInfo, nullptr), false);
    EXPECT_FALSE(noSwaps.clear());
    EXPECT_EQ(noSwaps.unreadable, "swap list");
    EXPECT_EQ(checkRelease(machine("laptop-undocked", "", ""), false).unreadable, "mount table");
}

} // namespace
} // namespace quaylet
