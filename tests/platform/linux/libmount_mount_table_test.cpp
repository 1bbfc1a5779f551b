// The mount-target test through libmount (the tables themselves show in the golden transcripts).
#include <filesystem>
#include <fstream>

#include <sys/sysmacros.h>

#include <gtest/gtest.h>

#include "platform/linux/libmount_mount_table.h"
#include "tests/support/test_paths.h"

namespace quaylet {
namespace {

class LibmountMountPointProbeTest : public ::testing::Test {
protected:
    testing::TemporaryDirectory scratch;
};

TEST_F(LibmountMountPointProbeTest, ComparesThePathAsGivenAndInCanonicalForm) {
    // A table naming the canonical path; the probe is asked through a link to it.
    std::filesystem::create_directory(scratch.path() + "/real");
    std::filesystem::create_directory_symlink("real", scratch.path() + "/link");
    std::ofstream(scratch.path() + "/mountinfo")
        << "60 26 8:17 / " << scratch.path() << "/real rw - ext4 /dev/sdb1 rw\n";
    const LibmountMountPointProbe linked(scratch.path() + "/mountinfo");
    EXPECT_TRUE(linked.isMounted(scratch.path() + "/link", makedev(8, 17)));
    EXPECT_TRUE(linked.isMounted(scratch.path() + "/real/", 0));
    EXPECT_FALSE(linked.isMounted(scratch.path() + "/rea", 0));
    EXPECT_FALSE(linked.isMounted(scratch.path(), 0));
}

TEST_F(LibmountMountPointProbeTest, OnlyThePlannedDeviceCountsAndNeverAnAutomountTrigger) {
    // sdc1 mounted over sdb1 at dock; an automount trigger left alone at auto.
    std::ofstream(scratch.path() + "/mountinfo")
        << "60 26 8:17 / /mnt/dock rw - ext4 /dev/sdb1 rw\n"
        << "61 60 8:33 / /mnt/dock rw - ext4 /dev/sdc1 rw\n"
        << "70 26 0:41 / /mnt/auto rw - autofs systemd-1 rw,fd=48,direct\n";
    const LibmountMountPointProbe probe(scratch.path() + "/mountinfo");
    EXPECT_TRUE(probe.isMounted("/mnt/dock", makedev(8, 17)));  // covered, still mounted
    EXPECT_FALSE(probe.isMounted("/mnt/dock", makedev(8, 18))); // gone, another disk at its path
    EXPECT_FALSE(probe.isMounted("/mnt/auto", makedev(8, 18)));
}

TEST_F(LibmountMountPointProbeTest, UnreadableTableFallsBackToDeviceBoundaries) {
    const LibmountMountPointProbe probe(scratch.path() + "/no-such-mountinfo");
    EXPECT_TRUE(probe.isMounted("/", makedev(254, 0)));
    EXPECT_TRUE(probe.isMounted("/proc", 0));
    EXPECT_FALSE(probe.isMounted(scratch.path(), 0));
}

} // namespace
} // namespace quaylet
