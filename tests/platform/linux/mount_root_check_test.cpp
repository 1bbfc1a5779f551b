// Real-system test of mountedByPath: what a mount point tells of its volume, and where only the
// mount table can tell.
#include <string>

#include <sys/mount.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "platform/linux/libmount_mount_table.h"
#include "platform/linux/mount_root_check.h"
#include "tests/support/real_system.h"
#include "tests/support/test_paths.h"

namespace quaylet {
namespace {

std::uint64_t deviceOf(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return status.st_dev;
}

// Small tmpfs mounts on directories of the test's own, inside the private namespace.
TEST(MountRootCheckTest, TellsTheVolumeOnTopAndNoMountButNotAVolumeCoveredByAnother) {
    QUAYLET_REQUIRE_REAL_SYSTEM();
    const testing::TemporaryDirectory directory;
    const std::string target = directory.path();
    const std::uint64_t parent = deviceOf(target);
    EXPECT_EQ(mountedByPath(target, parent), false); // a plain directory
    ASSERT_EQ(::mount("quaylet-lower", target.c_str(), "tmpfs", 0, "size=64k"), 0);
    const std::uint64_t lower = deviceOf(target);
    EXPECT_EQ(mountedByPath(target, lower), true);
    EXPECT_EQ(mountedByPath(target + "/", lower), true);
    EXPECT_EQ(mountedByPath(target, 0), std::nullopt);      // any device: the table tells
    EXPECT_EQ(mountedByPath(target, parent), std::nullopt); // another device on top

    ASSERT_EQ(::mount("quaylet-upper", target.c_str(), "tmpfs", 0, "size=64k"), 0);
    EXPECT_EQ(mountedByPath(target, lower), std::nullopt); // covered: it may lie beneath
    ASSERT_EQ(::umount(target.c_str()), 0);
    EXPECT_EQ(mountedByPath(target, lower), true);
    ASSERT_EQ(::umount(target.c_str()), 0);
    EXPECT_EQ(mountedByPath(target, lower), false);
    EXPECT_EQ(mountedByPath(target + "/missing", lower), std::nullopt);
    EXPECT_EQ(mountedByPath("relative/path", lower), std::nullopt);

    // Only the process's own table lets the probe ask paths: a recorded one is another system.
    EXPECT_EQ(LibmountMountPointProbe(target + "/mountinfo").askMountPoint(target, parent),
              std::nullopt);
}

} // namespace
} // namespace quaylet
