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

TEST(UdevDeviceEventSourceTest, TheKernelStreamOpensAndNeverBlocks) {
    std::error_code error;
    const auto source = UdevDeviceEventSource::open(UdevDeviceEventSource::Stream::Kernel, error);
    if (!source) {
        GTEST_SKIP() << "no netlink device events here: " << error.message();
    }
    EXPECT_GE(source->descriptor(), 0);
    // Events may arrive at any time; receiving must return at once either way.
    for (const DeviceEvent& event : source->receiveEvents()) {
        EXPECT_TRUE(event.subsystem == "usb" || event.subsystem == "pci" ||
                    event.subsystem == "thunderbolt")
            << event.subsystem;
    }
}

} // namespace
} // namespace quaylet
