// InjectedEventSource: device events a test hands to a SysfsRegistry's notification port.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include <sys/eventfd.h>
#include <unistd.h>

#include "platform/linux/device_event_source.h"
#include "platform/unique_fd.h"

namespace quaylet::testing {

/// An event source the test fills; its eventfd is readable while events wait.
class InjectedEventSource final : public DeviceEventSource {
public:
    InjectedEventSource() : descriptor_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

    int descriptor() const override { return descriptor_.get(); }
    std::vector<DeviceEvent> receiveEvents() override {
        std::uint64_t count = 0;
        [[maybe_unused]] const auto ignored = ::read(descriptor_.get(), &count, sizeof count);
        std::vector<DeviceEvent> events(queue_.begin(), queue_.end());
        queue_.clear();
        return events;
    }
    /// Queues `events` and makes the descriptor readable.
    void push(std::vector<DeviceEvent> events) {
        queue_.insert(queue_.end(), events.begin(), events.end());
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto ignored = ::write(descriptor_.get(), &one, sizeof one);
    }

private:
    UniqueFd descriptor_;
    std::deque<DeviceEvent> queue_;
};

} // namespace quaylet::testing
