// SysfsNotificationPort: delivers a SysfsRegistry's notifications from device events.
#include "platform/linux/sysfs_notification_port.h"

#include "platform/linux/sysfs_registry.h"

namespace quaylet {

SysfsNotificationPort::SysfsNotificationPort(SysfsRegistry& registry,
                                             std::unique_ptr<DeviceEventSource> source,
                                             std::error_code failure)
    : MemoryNotificationPort(static_cast<const MemoryRegistry*>(&registry)), registry_(registry),
      source_(std::move(source)), failure_(failure) {}

int SysfsNotificationPort::descriptor() const {
    return source_ ? source_->descriptor() : -1;
}

void SysfsNotificationPort::dispatchPending() {
    if (!source_) {
        return;
    }
    const std::vector<DeviceEvent> events = source_->receiveEvents();
    if (!events.empty()) {
        // A "remove" can arrive before sysfs drops the device; it counts as gone at once.
        std::vector<std::string> removed;
        for (const DeviceEvent& event : events) {
            if (event.action == "remove") {
                removed.push_back(event.devicePath);
            }
        }
        registry_.synchronize(true, removed);
    }
    MemoryNotificationPort::dispatchPending();
}

} // namespace quaylet
