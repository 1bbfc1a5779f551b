// The in-memory notification port: a queue of callbacks behind a readable descriptor.
#include "platform/memory_notification_port.h"

#include <utility>

namespace quaylet {

void MemoryPortQueue::post(std::function<void()> work) {
    const std::lock_guard lock(mutex_);
    work_.push_back(std::move(work));
    wake_.signal();
}

std::vector<std::function<void()>> MemoryPortQueue::takeAll() {
    const std::lock_guard lock(mutex_);
    wake_.drain();
    return std::exchange(work_, {});
}

void MemoryNotificationPort::dispatchPending() {
    for (auto& work : queue_->takeAll()) {
        work();
    }
}

} // namespace quaylet
