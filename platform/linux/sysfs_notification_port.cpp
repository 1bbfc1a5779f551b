// SysfsNotificationPort: delivers a SysfsRegistry's notifications from device events.
#include "platform/linux/sysfs_notification_port.h"

#include "platform/linux/sysfs_registry_state.h"

namespace quaylet {

SysfsNotificationPort::SysfsNotificationPort(std::shared_ptr<SysfsRegistryState> state,
                                             std::unique_ptr<DeviceEventSource> source)
    : state_(std::move(state)), source_(std::move(source)) {}

SysfsNotificationPort::~SysfsNotificationPort() {
    state_->forgetPort(this);
}

int SysfsNotificationPort::descriptor() const {
    return source_ ? source_->descriptor() : -1;
}

void SysfsNotificationPort::dispatchPending() {
    if (!source_) {
        return;
    }
    const std::vector<DeviceEvent> events = source_->receiveEvents();
    if (events.empty()) {
        return;
    }
    for (const PendingDelivery& delivery : state_->deliveriesFor(this, events)) {
        state_->deliver(delivery);
    }
}

} // namespace quaylet
