// UdevDeviceEventSource: device events of the usb, thunderbolt and pci subsystems via libudev.
#pragma once

#include <memory>
#include <string>
#include <system_error>

#include "platform/linux/device_event_source.h"

struct udev;
struct udev_monitor;

namespace quaylet {

/// Listens to the netlink stream of device events, filtered to the subsystems that docks and
/// their storage live on (usb, thunderbolt, pci).
class UdevDeviceEventSource final : public DeviceEventSource {
public:
    /// Which netlink stream to read.
    enum class Stream {
        Udev,   ///< Events after the udev daemon has processed them.
        Kernel, ///< The kernel's own events, for systems without a udev daemon.
    };

    /// Returns Udev when a udev daemon runs (its control socket `udevControl` exists), else
    /// Kernel.
    static Stream preferredStream(const std::string& udevControl = "/run/udev/control");
    /// Opens a monitor on `stream`; nullptr with `error` set when it cannot be opened.
    static std::unique_ptr<UdevDeviceEventSource> open(Stream stream, std::error_code& error);

    ~UdevDeviceEventSource() override;
    UdevDeviceEventSource(const UdevDeviceEventSource&) = delete;
    UdevDeviceEventSource& operator=(const UdevDeviceEventSource&) = delete;

    /// The netlink socket's descriptor.
    int descriptor() const override;
    /// Returns the waiting events of the three subsystems, oldest first.
    std::vector<DeviceEvent> receiveEvents() override;

private:
    struct UdevUnref {
        void operator()(udev* context) const;
    };
    struct MonitorUnref {
        void operator()(udev_monitor* monitor) const;
    };

    UdevDeviceEventSource(std::unique_ptr<udev, UdevUnref> context,
                          std::unique_ptr<udev_monitor, MonitorUnref> monitor);

    std::unique_ptr<udev, UdevUnref> context_;
    std::unique_ptr<udev_monitor, MonitorUnref> monitor_;
};

} // namespace quaylet
