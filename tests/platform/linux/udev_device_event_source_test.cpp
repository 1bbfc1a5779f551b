// Tests of UdevDeviceEventSource: choosing the stream, and opening the kernel's.
#include <filesystem>
#include <fstream>

#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/linux/udev_device_event_source.h"

namespace quaylet {
namespace {

TEST(UdevDeviceEventSourceTest, ListensToUdevOnlyWhenItsDaemonRuns) {
    const std::filesystem::path control =
        std::filesystem::temp_directory_path() / ("quaylet-control-" + std::to_string(::getpid()));
    EXPECT_EQ(UdevDeviceEventSource::preferredStream(control.string()),
              UdevDeviceEventSource::Stream::Kernel);
    std::ofstream(control.string()).put('\n');
    EXPECT_EQ(UdevDeviceEventSource::preferredStream(control.string()),
              UdevDeviceEventSource::Stream::Udev);
    std::filesystem::remove(control);
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
