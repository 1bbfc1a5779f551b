// SysfsNotificationPort: delivers a SysfsRegistry's notifications from device events.
#pragma once

#include <memory>
#include <system_error>

#include "platform/linux/device_event_source.h"
#include "platform/memory_notification_port.h"

namespace quaylet {

class SysfsRegistry;

/// A notification port fed by one device event source: each batch of events makes the registry
/// read the device tree again, which publishes the services that appeared and terminates those
/// that went away; the callbacks that calls for then run.
class SysfsNotificationPort final : public MemoryNotificationPort {
public:
    /// A port of `registry` reading `source`; without a source it never delivers, and
    /// `failure` says why.
    SysfsNotificationPort(SysfsRegistry& registry, std::unique_ptr<DeviceEventSource> source,
                          std::error_code failure);

    /// The event source's descriptor; -1 when the port has no source.
    int descriptor() const override;
    /// Reads the waiting events and runs the callbacks they call for, on the calling thread.
    void dispatchPending() override;
    std::error_code failure() const override { return failure_; }

private:
    SysfsRegistry& registry_;
    std::unique_ptr<DeviceEventSource> source_;
    std::error_code failure_;
};

} // namespace quaylet
