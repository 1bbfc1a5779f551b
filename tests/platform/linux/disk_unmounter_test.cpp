// The disk unmounter on the fixture machine's sysfs tree, with umount, udisksctl and the loop
// detach scripted.
#include <algorithm>
#include <filesystem>

#include <sys/sysmacros.h>

#include <gtest/gtest.h>

#include "platform/linux/disk_unmounter.h"
#include "tests/support/scripted_process_runner.h"
#include "tests/support/temporary_directory.h"
#include "tests/support/test_paths.h"

namespace quaylet {
namespace {

namespace fs = std::filesystem;
using Argv = std::vector<std::string>;

class DiskUnmounterTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::copy(std::string(testing::kFixturesDir) + "/debian-desktop/sys", sysRoot(),
                 fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        mounts = {
            {"/dev/nvme0n1p2", "/", makedev(259, 2), false},
            {"/dev/sdb1", "/media/alice/Dock SSD", makedev(8, 17), true},
            {"/dev/sdb2", "/media/alice/Dock SSD/archive", makedev(8, 18), true},
            {"/dev/sdc1", "/media/alice/Dock SSD/archive/stick", makedev(8, 33), true},
            {"/dev/sdb1", "/srv/dock", makedev(8, 17), false},
            {"tmpfs", "/run/user/1000", 0, false},
        };
    }

    std::string sysRoot() const { return scratch.path() + "/sys"; }

    /// umount and udisksctl take a mount off the table unless it is marked as refusing them.
    std::optional<std::string> tool(const Argv& argv) {
        const bool isUmount = argv[0] == "/bin/umount";
        if (argv[0] == "/usr/bin/udisksctl" && argv[1] == "loop-delete") {
            fs::remove(sysRoot() + "/class/block/loop3/loop/backing_file");
            return std::string();
        }
        const std::string key = isUmount ? argv[2] : argv[3];
        const auto refused = isUmount ? umountRefuses : udisksRefuses;
        if (std::find(refused.begin(), refused.end(), key) != refused.end()) {
            return std::string();
        }
        // umount takes the uppermost mount at a target; udisks the mount it made of a device.
        auto it = std::find_if(mounts.rbegin(), mounts.rend(), [&](const BlockMount& mount) {
            return isUmount ? mount.target == key : mount.source == key && mount.mountedByUdisks;
        });
        if (it != mounts.rend()) {
            mounts.erase(std::next(it).base());
        }
        return std::string();
    }

    DiskUnmountReport unmountDisk(const std::string& path, bool isRoot) {
        DiskUnmounterSystem system;
        system.readMounts = [this] {
            return mounts;
        };
        system.detachLoop = [this](const std::string& device) {
            detached.push_back(device);
            if (!detachError) {
                fs::remove(sysRoot() + "/class/block/loop3/loop/backing_file");
            }
            return detachError;
        };
        system.sysRoot = sysRoot();
        system.isRoot = isRoot;
        DiskUnmounter unmounter(runner, system);
        return unmounter.unmountDisk(path);
    }

    testing::TemporaryDirectory scratch;
    std::vector<BlockMount> mounts;
    std::vector<std::string> umountRefuses;
    std::vector<std::string> udisksRefuses;
    std::error_code detachError;
    std::vector<std::string> detached;
    testing::ScriptedProcessRunner runner{[this](const Argv& argv) {
        return tool(argv);
    }};
};

TEST_F(DiskUnmounterTest, UnmountsEveryFileSystemOfTheDiskDeepestFirst) {
    const DiskUnmountReport report = unmountDisk("/media/alice/Dock SSD", true);
    EXPECT_EQ(report.wholeDisk, "sdb");
    // sdc1, mounted inside sdb2's folder, belongs to another disk and is left alone.
    EXPECT_EQ(runner.runs, (std::vector<Argv>{
                               {"/bin/umount", "--", "/media/alice/Dock SSD/archive"},
                               {"/bin/umount", "--", "/media/alice/Dock SSD"},
                               {"/bin/umount", "--", "/srv/dock"},
                           }));
    ASSERT_EQ(report.volumes.size(), 3u);
    EXPECT_TRUE(report.allUnmounted());
    EXPECT_EQ(report.loop, LoopRelease::notALoop);
    EXPECT_EQ(mounts.size(), 3u);
}

TEST_F(DiskUnmounterTest, AsAUserAsksUdisksForItsMountsThatUmountRefused) {
    umountRefuses = {"/media/alice/Dock SSD/archive", "/media/alice/Dock SSD", "/srv/dock"};
    const DiskUnmountReport report = unmountDisk("/media/alice/Dock SSD", false);
    EXPECT_EQ(runner.runs,
              (std::vector<Argv>{
                  {"/bin/umount", "--", "/media/alice/Dock SSD/archive"},
                  {"/usr/bin/udisksctl", "unmount", "-b", "/dev/sdb2", "--no-user-interaction"},
                  {"/bin/umount", "--", "/media/alice/Dock SSD"},
                  {"/usr/bin/udisksctl", "unmount", "-b", "/dev/sdb1", "--no-user-interaction"},
                  {"/bin/umount", "--", "/srv/dock"},
              }));
    // /srv/dock is no udisks mount: it stays, and so the disk is not all unmounted.
    ASSERT_EQ(report.volumes.size(), 3u);
    EXPECT_TRUE(report.volumes[0].unmounted && report.volumes[0].throughUdisks);
    EXPECT_FALSE(report.volumes[2].unmounted || report.volumes[2].throughUdisks);
    EXPECT_FALSE(report.allUnmounted());
}

TEST_F(DiskUnmounterTest, AsRootNeverAsksUdisks) {
    umountRefuses = {"/media/alice/Dock SSD"};
    const DiskUnmountReport report = unmountDisk("/media/alice/Dock SSD", true);
    EXPECT_EQ(runner.runs.size(), 3u);
    EXPECT_FALSE(report.allUnmounted());
    EXPECT_FALSE(report.volumes[1].throughUdisks);
}

TEST_F(DiskUnmounterTest, ACoveredMountIsNotUmountsToTake) {
    mounts.push_back({"/dev/sdc1", "/srv/dock", makedev(8, 33), false});
    const DiskUnmountReport report = unmountDisk("/dev/sdb1", true);
    EXPECT_EQ(runner.runs.size(), 2u); // /srv/dock's uppermost mount is sdc1's
    EXPECT_FALSE(report.allUnmounted());
    EXPECT_EQ(mounts.back().source, "/dev/sdc1");
}

TEST_F(DiskUnmounterTest, RefusesWithoutRunningAnything) {
    EXPECT_EQ(unmountDisk("/media/alice/elsewhere", true).refusal,
              DiskUnmountReport::Refusal::notMounted);
    EXPECT_EQ(unmountDisk("/run/user/1000", true).refusal, DiskUnmountReport::Refusal::notOnDisk);
    EXPECT_EQ(unmountDisk("/", true).refusal, DiskUnmountReport::Refusal::bootDisk);
    EXPECT_TRUE(runner.runs.empty());
}

class LoopDiskUnmounterTest : public DiskUnmounterTest {
protected:
    void SetUp() override {
        DiskUnmounterTest::SetUp();
        mounts.push_back({"/dev/loop3p1", "/media/alice/backup", makedev(259, 8), true});
    }
};

TEST_F(LoopDiskUnmounterTest, DetachesTheLoopDeviceOnceItsFileSystemsAreGone) {
    const DiskUnmountReport report = unmountDisk("/media/alice/backup", true);
    EXPECT_EQ(report.wholeDisk, "loop3");
    EXPECT_EQ(detached, std::vector<std::string>{"/dev/loop3"});
    EXPECT_EQ(report.loop, LoopRelease::detached);
    EXPECT_EQ(report.imagePath, "/media/alice/Dock SSD/images/backup.img");
}

TEST_F(LoopDiskUnmounterTest, KeepsItAttachedWhileMountedStackedOrBusy) {
    umountRefuses = {"/media/alice/backup"};
    EXPECT_EQ(unmountDisk("/media/alice/backup", true).loop, LoopRelease::keptMounted);
    EXPECT_TRUE(detached.empty());

    umountRefuses.clear();
    fs::create_directories(sysRoot() + "/class/block/loop3/loop3p1/holders/dm-0");
    EXPECT_EQ(unmountDisk("/media/alice/backup", true).loop, LoopRelease::keptStacked);
    EXPECT_TRUE(detached.empty());

    fs::remove_all(sysRoot() + "/class/block/loop3/loop3p1/holders");
    detachError = std::make_error_code(std::errc::device_or_resource_busy);
    EXPECT_EQ(unmountDisk("/dev/loop3", true).loop, LoopRelease::keptInUse);
}

TEST_F(LoopDiskUnmounterTest, AsAUserAsksUdisksToDeleteTheLoopDevice) {
    detachError = std::make_error_code(std::errc::permission_denied);
    const DiskUnmountReport report = unmountDisk("/media/alice/backup", false);
    EXPECT_EQ(runner.runs.back(), (Argv{"/usr/bin/udisksctl", "loop-delete", "-b", "/dev/loop3",
                                        "--no-user-interaction"}));
    EXPECT_TRUE(report.loopThroughUdisks);
    EXPECT_EQ(report.loop, LoopRelease::detached);
}

TEST(ShouldAskUdisksTest, OnlyUsersAskAndOnlyForUdisksMounts) {
    const BlockMount udisks{"/dev/sdb1", "/media/alice/x", 1, true};
    const BlockMount other{"/dev/sdb1", "/srv/x", 1, false};
    EXPECT_TRUE(shouldAskUdisks(udisks, false));
    EXPECT_FALSE(shouldAskUdisks(udisks, true));
    EXPECT_FALSE(shouldAskUdisks(other, false));
}

} // namespace
} // namespace quaylet
