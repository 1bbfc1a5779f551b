// Real-system test of LibmountMountMonitor: a mount in the private mount namespace is noticed.
#include <string>

#include <poll.h>
#include <sys/mount.h>

#include <gtest/gtest.h>

#include "platform/linux/libmount_mount_monitor.h"
#include "tests/support/real_system.h"
#include "tests/support/test_paths.h"

namespace quaylet {
namespace {

bool readableWithin(int descriptor, int milliseconds) {
    pollfd entry{descriptor, POLLIN, 0};
    return ::poll(&entry, 1, milliseconds) == 1;
}

// The test mounts a small tmpfs on a directory of its own inside the private namespace: no
// device, and nothing the host sees.
TEST(LibmountMountMonitorTest, NoticesAMountAndAnUnmount) {
    QUAYLET_REQUIRE_REAL_SYSTEM();
    std::error_code error;
    const auto monitor = LibmountMountMonitor::open(error);
    ASSERT_TRUE(monitor) << error.message();
    monitor->acknowledgeChanges();
    EXPECT_FALSE(monitor->acknowledgeChanges()) << "nothing changed yet";

    const testing::TemporaryDirectory directory;
    const std::string& target = directory.path();
    ASSERT_EQ(::mount("quaylet-test", target.c_str(), "tmpfs", 0, "size=64k"), 0);
    EXPECT_TRUE(readableWithin(monitor->descriptor(), 2000));
    EXPECT_TRUE(monitor->acknowledgeChanges());
    EXPECT_FALSE(monitor->acknowledgeChanges());

    ASSERT_EQ(::umount(target.c_str()), 0);
    EXPECT_TRUE(readableWithin(monitor->descriptor(), 2000));
    EXPECT_TRUE(monitor->acknowledgeChanges());
}

} // namespace
} // namespace quaylet
