// SysfsNotificationPort: delivers a SysfsRegistry's notifications from device events.
#pragma once

#include <memory>

#include "platform/linux/device_event_source.h"
#include "platform/registry.h"

namespace quaylet {

class SysfsRegistryState;

/// A notification port fed by one device event source: "add" and "bind" events run the
/// matching callbacks of services that appeared, "remove" events send the termination message
/// to the interest notifications of the device and of everything below it.
class SysfsNotificationPort final : public NotificationPort {
public:
    /// A port of `state`'s registry reading `source` (null: a port that never delivers).
    SysfsNotificationPort(std::shared_ptr<SysfsRegistryState> state,
                          std::unique_ptr<DeviceEventSource> source);
    ~SysfsNotificationPort() override;
    SysfsNotificationPort(const SysfsNotificationPort&) = delete;
    SysfsNotificationPort& operator=(const SysfsNotificationPort&) = delete;

    /// The event source's descriptor; -1 when the port has no source.
    int descriptor() const override;
    /// Reads the waiting events and runs the callbacks they call for, on the calling thread.
    void dispatchPending() override;

    /// Returns whether this port belongs to the registry whose state is `state`.
    bool belongsTo(const SysfsRegistryState* state) const { return state_.get() == state; }

private:
    std::shared_ptr<SysfsRegistryState> state_;
    std::unique_ptr<DeviceEventSource> source_;
};

} // namespace quaylet
