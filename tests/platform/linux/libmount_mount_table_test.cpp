// The mount table through libmount: decoded paths, table order, and the mount-target test.
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <sys/sysmacros.h>

#include <gtest/gtest.h>

#include "platform/linux/block_mount_table.h"
#include "platform/linux/libmount_mount_table.h"
#include "tests/support/temporary_directory.h"
#include "tests/support/test_paths.h"

namespace quaylet {
namespace {

const std::string kMachine = std::string(testing::kFixturesDir) + "/debian-desktop";

TEST(LibmountMountTableTest, ReadsEntriesInTableOrderWithPathsDecoded) {
    const auto entries = LibmountMountTable(kMachine + "/mountinfo").entries();
    ASSERT_EQ(entries.size(), 7u);
    EXPECT_EQ(entries[0], (MountEntry{"proc", "/proc", "proc", makedev(0, 20)}));
    EXPECT_EQ(entries[2],
              (MountEntry{"/dev/sdb1", "/media/alice/Dock SSD", "ext4", makedev(8, 17)}));
    EXPECT_EQ(entries[3], (MountEntry{"/dev/loop3", "/media/alice/Dock SSD/mnt/a\nb\\c", "ext2",
                                      makedev(7, 3)}));
    EXPECT_TRUE(LibmountMountTable(kMachine + "/no-such-mountinfo").entries().empty());
}

TEST(LibmountMountTableTest, BlockMountsCarryDeviceNumbersAndUdisksMarks) {
    ::setenv("LIBMOUNT_UTAB", (kMachine + "/utab").c_str(), 1);
    const auto mounts = readBlockMounts(kMachine + "/mountinfo");
    ::unsetenv("LIBMOUNT_UTAB");
    ASSERT_EQ(mounts.size(), 7u);
    EXPECT_EQ(mounts[2], (BlockMount{"/dev/sdb1", "/media/alice/Dock SSD", makedev(8, 17), true}));
    EXPECT_EQ(mounts[4].device, 0u); // tmpfs comes from no block device
    EXPECT_EQ(mounts[5], (BlockMount{"/dev/sdc1", "/srv/backup", makedev(8, 33), true}));
    EXPECT_EQ(mounts[6], (BlockMount{"/dev/sdc2", "/srv/plain", makedev(8, 34), false}));
}

class LibmountMountPointProbeTest : public ::testing::Test {
protected:
    testing::TemporaryDirectory scratch;
};

TEST_F(LibmountMountPointProbeTest, ComparesThePathAsGivenAndInCanonicalForm) {
    const LibmountMountPointProbe probe(kMachine + "/mountinfo");
    EXPECT_TRUE(probe.isMounted("/media/alice/Dock SSD"));
    EXPECT_TRUE(probe.isMounted("/media/alice/Dock SSD/mnt/a\nb\\c"));
    EXPECT_FALSE(probe.isMounted("/media/alice"));
    EXPECT_FALSE(probe.isMounted("/media/alice/Dock"));

    // A table naming the canonical path; the probe is asked through a link to it.
    std::filesystem::create_directory(scratch.path() + "/real");
    std::filesystem::create_directory_symlink("real", scratch.path() + "/link");
    std::ofstream(scratch.path() + "/mountinfo")
        << "60 26 8:17 / " << scratch.path() << "/real rw - ext4 /dev/sdb1 rw\n";
    const LibmountMountPointProbe linked(scratch.path() + "/mountinfo");
    EXPECT_TRUE(linked.isMounted(scratch.path() + "/link"));
    EXPECT_TRUE(linked.isMounted(scratch.path() + "/real/"));
}

TEST_F(LibmountMountPointProbeTest, UnreadableTableFallsBackToDeviceBoundaries) {
    const LibmountMountPointProbe probe(scratch.path() + "/no-such-mountinfo");
    EXPECT_TRUE(probe.isMounted("/"));
    EXPECT_TRUE(probe.isMounted("/proc"));
    EXPECT_FALSE(probe.isMounted(scratch.path()));
    EXPECT_FALSE(probe.isMounted(scratch.path() + "/missing"));
}

} // namespace
} // namespace quaylet
