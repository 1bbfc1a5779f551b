// The disk unmounter on the fixture machine's sysfs tree, with the kernel's unmount, udisksctl
// and the loop detach scripted.
#include <algorithm>
#include <filesystem>

#include <sys/sysmacros.h>

#include <gtest/gtest.h>

#include "platform/linux/disk_unmounter.h"
#include "tests/support/recording_process_runner.h"
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

    /// Takes the uppermost mount at a target off the table, as the kernel does, unless the
    /// target is marked as refusing: busy for root, not permitted for a user.
    std::error_code unmount(const BlockMount& mount, bool isRoot) {
        unmounted.push_back(mount.target);
        if (std::find(umountRefuses.begin(), umountRefuses.end(), mount.target) !=
            umountRefuses.end()) {
            return std::make_error_code(isRoot ? std::errc::device_or_resource_busy
                                               : std::errc::operation_not_permitted);
        }
        removeLast([&](const BlockMount& m) { return m.target == mount.target; });
        return {};
    }

    /// udisksctl takes the mount it made of a device off the table.
    std::optional<std::string> udisks(const Argv& argv) {
        if (argv[1] == "loop-delete") {
            fs::remove(sysRoot() + "/class/block/loop3/loop/backing_file");
        } else {
            removeLast(
                [&](const BlockMount& m) { return m.source == argv[3] && m.mountedByUdisks; });
        }
        return std::string();
    }

    template <typename Predicate> void removeLast(Predicate matches) {
        const auto it = std::find_if(mounts.rbegin(), mounts.rend(), matches);
        if (it != mounts.rend()) {
            mounts.erase(std::next(it).base());
        }
    }

    DiskUnmountReport unmountDisk(const std::string& path, bool isRoot,
                                  std::optional<std::uint64_t> planned = std::nullopt) {
        DiskUnmounterSystem system;
        system.readMounts = [this] {
            return mounts;
        };
        system.unmount = [this, isRoot](const BlockMount& mount) {
            return unmount(mount, isRoot);
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
        return unmounter.unmountDisk(path, planned);
    }

    testing::TemporaryDirectory scratch;
    std::vector<BlockMount> mounts;
    std::vector<std::string> umountRefuses;
    std::vector<std::string> unmounted;
    std::error_code detachError;
    std::vector<std::string> detached;
    testing::RecordingProcessRunner runner{[this](const Argv& argv) {
        return udisks(argv);
    }};
};

TEST_F(DiskUnmounterTest, UnmountsEveryFileSystemOfThePlannedDiskDeepestFirst) {
    const DiskUnmountReport report = unmountDisk("/media/alice/Dock SSD", true, makedev(8, 17));
    EXPECT_EQ(report.wholeDisk, "sdb");
    // sdc1, mounted inside sdb2's folder, belongs to another disk and is left alone.
    EXPECT_EQ(unmounted, (std::vector<std::string>{"/media/alice/Dock SSD/archive",
                                                   "/media/alice/Dock SSD", "/srv/dock"}));
    EXPECT_TRUE(runner.runs().empty());
    ASSERT_EQ(report.volumes.size(), 3u);
    EXPECT_TRUE(report.allUnmounted());
    EXPECT_EQ(report.loop, LoopRelease::notALoop);
    EXPECT_EQ(mounts.size(), 3u);
}

TEST_F(DiskUnmounterTest, AsAUserAsksUdisksForItsMountsThatTheKernelRefused) {
    umountRefuses = {"/media/alice/Dock SSD/archive", "/media/alice/Dock SSD", "/srv/dock"};
    const DiskUnmountReport report = unmountDisk("/media/alice/Dock SSD", false);
    EXPECT_EQ(runner.runs(),
              (std::vector<Argv>{
                  {"/usr/bin/udisksctl", "unmount", "-b", "/dev/sdb2", "--no-user-interaction"},
                  {"/usr/bin/udisksctl", "unmount", "-b", "/dev/sdb1", "--no-user-interaction"},
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
    EXPECT_TRUE(runner.runs().empty());
    EXPECT_FALSE(report.allUnmounted());
    EXPECT_FALSE(report.volumes[1].throughUdisks);
}

TEST_F(DiskUnmounterTest, AMountOfTheDiskCoveredByAnotherDiskIsNotTaken) {
    mounts.push_back({"/dev/sdc1", "/srv/dock", makedev(8, 33), false});
    const DiskUnmountReport report = unmountDisk("/dev/sdb1", true);
    EXPECT_EQ(unmounted.size(), 2u); // /srv/dock's uppermost mount is sdc1's
    EXPECT_FALSE(report.allUnmounted());
    EXPECT_EQ(mounts.back().source, "/dev/sdc1");
}

TEST_F(DiskUnmounterTest, RefusesWithoutUnmountingAnything) {
    using Refusal = DiskUnmountReport::Refusal;
    EXPECT_EQ(unmountDisk("/media/alice/elsewhere", true).refusal, Refusal::notMounted);
    EXPECT_EQ(unmountDisk("/run/user/1000", true).refusal, Refusal::notOnDisk);
    EXPECT_EQ(unmountDisk("/", true).refusal, Refusal::bootDisk);

    // The planned sdb2 is not what is mounted at sdc1's mount point.
    const DiskUnmountReport other =
        unmountDisk("/media/alice/Dock SSD/archive/stick", true, makedev(8, 18));
    EXPECT_EQ(other.refusal, Refusal::otherDevice);
    EXPECT_EQ(other.foundSource, "/dev/sdc1");

    // sdc1 mounted over the planned sdb1: neither disk is touched.
    mounts.push_back({"/dev/sdc1", "/media/alice/Dock SSD", makedev(8, 33), false});
    const DiskUnmountReport covered = unmountDisk("/media/alice/Dock SSD", true, makedev(8, 17));
    EXPECT_EQ(covered.refusal, Refusal::coveredDevice);
    EXPECT_EQ(covered.foundSource, "/dev/sdc1");
    EXPECT_TRUE(unmounted.empty());
    EXPECT_TRUE(runner.runs().empty());
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
    EXPECT_EQ(runner.runs().back(), (Argv{"/usr/bin/udisksctl", "loop-delete", "-b", "/dev/loop3",
                                          "--no-user-interaction"}));
    EXPECT_TRUE(report.loopThroughUdisks);
    EXPECT_EQ(report.loop, LoopRelease::detached);
}

} // namespace
} // namespace quaylet
