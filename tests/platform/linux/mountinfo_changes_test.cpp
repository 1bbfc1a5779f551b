// Real-system test of MountinfoChanges: what changes the mount table is told once, what fails
// to change it is not, and a recorded table has no watch.
#include <fstream>
#include <string>

#include <sys/mount.h>

#include <gtest/gtest.h>

#include "platform/linux/mountinfo_changes.h"
#include "tests/support/real_system.h"
#include "tests/support/test_paths.h"

namespace quaylet {
namespace {

// A small tmpfs on a directory of the test's own inside the private namespace.
TEST(MountinfoChangesTest, TellsEachMountAndUnmountOnceAndNothingElse) {
    QUAYLET_REQUIRE_REAL_SYSTEM();
    const auto changes = MountinfoChanges::open("/proc/self/mountinfo");
    ASSERT_TRUE(changes);
    EXPECT_FALSE(changes->changedSinceLastAsked());

    const testing::TemporaryDirectory directory;
    const std::string& target = directory.path();
    ASSERT_EQ(::mount("quaylet-test", target.c_str(), "tmpfs", 0, "size=64k"), 0);
    EXPECT_TRUE(changes->changedSinceLastAsked());
    EXPECT_FALSE(changes->changedSinceLastAsked());
    ASSERT_EQ(::umount(target.c_str()), 0);
    ASSERT_NE(::umount(target.c_str()), 0); // nothing there any more
    EXPECT_TRUE(changes->changedSinceLastAsked());
    EXPECT_FALSE(changes->changedSinceLastAsked());

    std::ofstream(target + "/mountinfo") << "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n";
    EXPECT_FALSE(MountinfoChanges::open(target + "/mountinfo"));
}

} // namespace
} // namespace quaylet
