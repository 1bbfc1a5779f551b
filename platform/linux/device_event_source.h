// DeviceEventSource: where the Linux registry hears of devices arriving and leaving.
#pragma once

#include <string>
#include <vector>

namespace quaylet {

/// One device event as the kernel (or udev after it) announces it.
struct DeviceEvent {
    std::string action;     ///< "add", "remove", "bind", "change" and so on.
    std::string devicePath; ///< The device's path below the sysfs root (/devices/...).
    std::string subsystem;  ///< "usb", "pci", "thunderbolt" and so on.

    friend bool operator==(const DeviceEvent&, const DeviceEvent&) = default;
};

/// A stream of device events that plugs into an event loop through its descriptor.
class DeviceEventSource {
public:
    virtual ~DeviceEventSource() = default;
    /// A descriptor that turns readable while events wait; -1 when there is none.
    virtual int descriptor() const = 0;
    /// Returns the events waiting, oldest first, without blocking; empty when none wait.
    virtual std::vector<DeviceEvent> receiveEvents() = 0;
};

} // namespace quaylet
