// MemoryNotificationPort: the registry engine's notification port and its work queue.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/registry.h"
#include "platform/wake_pipe.h"

namespace quaylet {

/// Callbacks waiting for a port's dispatch. Shared by the port and the notifications armed on
/// it, so a notification never outlives the queue it posts to.
class MemoryPortQueue {
public:
    /// Queues `work` and makes the descriptor readable.
    void post(std::function<void()> work);
    /// Takes every queued callback, oldest first, and clears the descriptor.
    std::vector<std::function<void()>> takeAll();
    /// The descriptor that is readable while callbacks wait; -1 without one.
    int descriptor() const { return wake_.descriptor(); }

private:
    std::mutex mutex_;
    std::vector<std::function<void()>> work_;
    WakePipe wake_;
};

/// A notification port of the registry engine. Its descriptor is a pipe's read end.
class MemoryNotificationPort : public NotificationPort {
public:
    /// A port of the registry `owner`; notifications of other registries refuse it.
    explicit MemoryNotificationPort(const void* owner)
        : owner_(owner), queue_(std::make_shared<MemoryPortQueue>()) {}

    int descriptor() const override { return queue_->descriptor(); }
    /// Runs the callbacks queued before the call; later ones wait for the next dispatch.
    void dispatchPending() override;
    /// The queue that notifications armed on this port post to.
    const std::shared_ptr<MemoryPortQueue>& queue() const { return queue_; }
    /// The registry the port belongs to.
    const void* owner() const { return owner_; }

private:
    const void* owner_;
    std::shared_ptr<MemoryPortQueue> queue_;
};

} // namespace quaylet
