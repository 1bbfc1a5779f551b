// Tests of UdevDeviceEventSource: choosing the stream, and opening the kernel's.
#include <fstream>

#include <gtest/gtest.h>

#include "platform/linux/udev_device_event_source.h"
#include "tests/support/test_paths.h"

namespace quaylet {
namespace {

TEST(UdevDeviceEventSourceTest, ListensToUdevOnlyWhenItsDaemonRuns) {
    const testing::TemporaryDirectory directory;
    const std::string control = directory.path() + "/control";
    EXPECT_EQ(UdevDeviceEventSource::preferredStream(control),
              UdevDeviceEventSource::Stream::Kernel);
    std::ofstream(control).put('\n');
    EXPECT_EQ(UdevDeviceEventSource::preferredStream(control), UdevDeviceEventSource::Stream::Udev);
}

} // namespace
} // namespace quaylet
