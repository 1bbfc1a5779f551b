// The disk unmounter on the fixture machine's sysfs tree, with the kernel's unmount, udisks and
// the loop detach scripted.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include <sys/sysmacros.h>

#include <gtest/gtest.h>

#include "platform/linux/disk_unmounter.h"
#include "tests/support/test_paths.h"

namespace quaylet {
namespace {

namespace fs = std::filesystem;

/// udisks knowing the mounts it made: it unmounts them unless told to refuse one, and deletes
/// the loop devices and locks the containers it is told of.
class FakeUdisks final : public UdisksStorage {
public:
    explicit FakeUdisks(std::vector<BlockMount>& mounts) : mounts_(mounts) {}

    std::optional<UdisksReply> unmount(const BlockMount& mount) override {
        if (!mount.mountedByUdisks) {
            return std::nullopt;
        }
        asked.push_back(mount.target);
        if (const auto refusal = refusals.find(mount.target); refusal != refusals.end()) {
            return UdisksReply{refusal->second, "refused"};
        }
        const auto it = std::find(mounts_.rbegin(), mounts_.rend(), mount);
        mounts_.erase(std::next(it).base());
        return UdisksReply{};
    }
    std::optional<UdisksReply> deleteLoop(std::uint64_t device) override {
        if (device != loop) {
            return std::nullopt;
        }
        fs::remove(backingFile);
        return UdisksReply{};
    }
    std::optional<UdisksReply> lockContainerOf(std::uint64_t device) override {
        if (device != clearText) {
            return std::nullopt;
        }
        return UdisksReply{UnmountCause::none, "/dev/sdz"};
    }
    std::optional<UdisksReply> powerOffDrive(std::uint64_t) override { return std::nullopt; }

    std::map<std::string, UnmountCause> refusals;
    std::vector<std::string> asked;
    std::uint64_t loop = 0;
    std::uint64_t clearText = 0;
    std::string backingFile;

private:
    std::vector<BlockMount>& mounts_;
};

class DiskUnmounterTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::copy(testing::fixturePath("debian-desktop", "sys"), sysRoot(),
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
    /// target is marked as refusing (busy, or not permitted for `isRoot` false).
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
            fs::remove(sysRoot() + "/class/block/loop3/loop/backing_file");
            return std::error_code();
        };
        system.sysRoot = sysRoot();
        system.udisks = udisks;
        DiskUnmounter unmounter(system);
        return unmounter.unmountDisk(path, planned);
    }

    testing::TemporaryDirectory scratch;
    std::vector<BlockMount> mounts;
    std::vector<std::string> umountRefuses;
    std::vector<std::string> unmounted;
    std::vector<std::string> detached;
    std::shared_ptr<FakeUdisks> udisks; ///< None: udisks is not running.
};

TEST_F(DiskUnmounterTest, AsksUdisksForTheMountsItKnowsAndSaysWhyEachStayed) {
    udisks = std::make_shared<FakeUdisks>(mounts);
    // udisks refuses both its mounts; the kernel takes the archive (as fstab's "user" option
    // allows) but not the SSD's root, nor /srv/dock, which udisks did not mount.
    udisks->refusals = {{"/media/alice/Dock SSD", UnmountCause::notAllowed},
                        {"/media/alice/Dock SSD/archive", UnmountCause::notAllowed}};
    umountRefuses = {"/srv/dock", "/media/alice/Dock SSD"};
    const DiskUnmountReport report = unmountDisk("/media/alice/Dock SSD", false);
    EXPECT_EQ(udisks->asked,
              (std::vector<std::string>{"/media/alice/Dock SSD/archive", "/media/alice/Dock SSD"}));
    EXPECT_EQ(unmounted, (std::vector<std::string>{"/media/alice/Dock SSD/archive",
                                                   "/media/alice/Dock SSD", "/srv/dock"}));
    ASSERT_EQ(report.volumes.size(), 3u);
    EXPECT_TRUE(report.volumes[0].unmounted && report.volumes[0].throughUdisks);
    EXPECT_EQ(report.volumes[1].cause, UnmountCause::notAllowed);
    EXPECT_EQ(report.volumes[1].detail, "refused");
    EXPECT_EQ(report.volumes[2].cause, UnmountCause::notAllowed); // the kernel's EPERM
    EXPECT_FALSE(report.allUnmounted());

    // As root the kernel's refusal is EBUSY: in use (the archive went above).
    udisks.reset();
    umountRefuses = {"/media/alice/Dock SSD"};
    EXPECT_EQ(unmountDisk("/media/alice/Dock SSD", true).volumes[0].cause, UnmountCause::busy);
}

TEST_F(DiskUnmounterTest, AMountOfTheDiskCoveredByAnotherDiskIsNotTaken) {
    mounts.push_back({"/dev/sdc1", "/srv/dock", makedev(8, 33), false});
    const DiskUnmountReport report = unmountDisk("/dev/sdb1", true);
    EXPECT_EQ(unmounted.size(), 2u); // /srv/dock's uppermost mount is sdc1's
    EXPECT_FALSE(report.allUnmounted());
    EXPECT_EQ(report.volumes.back().cause, UnmountCause::busy);
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

    // Root on LVM over LUKS on the dock SSD's sda2 makes sda the boot disk, also for sda1.
    fs::remove_all(sysRoot());
    fs::copy(testing::fixturePath("laptop-dock-stacks", "sys"), sysRoot(),
             fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    std::ofstream(scratch.path() + "/mountinfo")
        << "22 1 254:1 / / rw - ext4 /dev/root rw\n"
           "60 22 8:1 / /media/user/DockSSD rw - exfat /dev/sda1 rw\n";
    mounts = readBlockMounts(scratch.path() + "/mountinfo");
    EXPECT_EQ(unmountDisk("/media/user/DockSSD", true, makedev(8, 1)).refusal, Refusal::bootDisk);
    EXPECT_TRUE(unmounted.empty());
}

class LoopDiskUnmounterTest : public DiskUnmounterTest {
protected:
    void SetUp() override {
        DiskUnmounterTest::SetUp();
        mounts.push_back({"/dev/loop3p1", "/media/alice/backup", makedev(259, 8), true});
    }
};

TEST_F(LoopDiskUnmounterTest, UdisksLocksTheContainerAndDeletesTheLoopDeviceItKnows) {
    udisks = std::make_shared<FakeUdisks>(mounts);
    udisks->loop = makedev(7, 3);
    udisks->clearText = makedev(259, 8);
    udisks->backingFile = sysRoot() + "/class/block/loop3/loop/backing_file";
    const DiskUnmountReport report = unmountDisk("/media/alice/backup", false);
    EXPECT_TRUE(detached.empty());
    EXPECT_TRUE(report.loopThroughUdisks);
    EXPECT_EQ(report.loop, LoopRelease::detached);
    ASSERT_TRUE(report.lock.has_value());
    EXPECT_EQ(report.container, "/dev/sdz");
}

} // namespace
} // namespace quaylet
