// UdevDeviceEventSource: device events of the usb, thunderbolt and pci subsystems via libudev.
#include "platform/linux/udev_device_event_source.h"

#include <array>
#include <cerrno>
#include <string_view>

#include <libudev.h>
#include <unistd.h>

namespace quaylet {
namespace {

constexpr std::array<const char*, 3> kSubsystems{"usb", "thunderbolt", "pci"};

struct DeviceUnref {
    void operator()(udev_device* device) const { udev_device_unref(device); }
};

std::string text(const char* value) {
    return value == nullptr ? std::string() : std::string(value);
}

std::error_code lastError(int fallback = EIO) {
    return {errno != 0 ? errno : fallback, std::generic_category()};
}

} // namespace

void UdevDeviceEventSource::UdevUnref::operator()(udev* context) const {
    udev_unref(context);
}

void UdevDeviceEventSource::MonitorUnref::operator()(udev_monitor* monitor) const {
    udev_monitor_unref(monitor);
}

UdevDeviceEventSource::Stream
UdevDeviceEventSource::preferredStream(const std::string& udevControl) {
    return ::access(udevControl.c_str(), F_OK) == 0 ? Stream::Udev : Stream::Kernel;
}

std::unique_ptr<UdevDeviceEventSource> UdevDeviceEventSource::open(Stream stream,
                                                                   std::error_code& error) {
    errno = 0;
    std::unique_ptr<udev, UdevUnref> context(udev_new());
    if (!context) {
        error = lastError(ENOMEM);
        return nullptr;
    }
    std::unique_ptr<udev_monitor, MonitorUnref> monitor(
        udev_monitor_new_from_netlink(context.get(), stream == Stream::Udev ? "udev" : "kernel"));
    if (!monitor) {
        error = lastError();
        return nullptr;
    }
    for (const char* subsystem : kSubsystems) {
        if (const int result =
                udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), subsystem, nullptr);
            result < 0) {
            error = std::error_code(-result, std::generic_category());
            return nullptr;
        }
    }
    if (const int result = udev_monitor_enable_receiving(monitor.get()); result < 0) {
        error = std::error_code(-result, std::generic_category());
        return nullptr;
    }
    error.clear();
    return std::unique_ptr<UdevDeviceEventSource>(
        new UdevDeviceEventSource(std::move(context), std::move(monitor)));
}

UdevDeviceEventSource::UdevDeviceEventSource(std::unique_ptr<udev, UdevUnref> context,
                                             std::unique_ptr<udev_monitor, MonitorUnref> monitor)
    : context_(std::move(context)), monitor_(std::move(monitor)) {}

UdevDeviceEventSource::~UdevDeviceEventSource() = default;

int UdevDeviceEventSource::descriptor() const {
    return udev_monitor_get_fd(monitor_.get());
}

std::vector<DeviceEvent> UdevDeviceEventSource::receiveEvents() {
    std::vector<DeviceEvent> events;
    // The socket does not block: receiving stops when no event waits.
    while (const std::unique_ptr<udev_device, DeviceUnref> device{
        udev_monitor_receive_device(monitor_.get())}) {
        DeviceEvent event{text(udev_device_get_action(device.get())),
                          text(udev_device_get_devpath(device.get())),
                          text(udev_device_get_subsystem(device.get()))};
        // The kernel stream is filtered here as well as in the socket.
        for (const std::string_view subsystem : kSubsystems) {
            if (event.subsystem == subsystem) {
                events.push_back(std::move(event));
                break;
            }
        }
    }
    return events;
}

} // namespace quaylet
