// ProbedRegistry: an in-memory registry that counts parent requests and fails on request.
#pragma once

#include <atomic>
#include <cstddef>

#include "platform/memory_registry.h"

namespace quaylet::testing {

/// A MemoryRegistry for tests that need to see how far a walk went or make arming an interest
/// notification fail.
class ProbedRegistry final : public MemoryRegistry {
public:
    using MemoryRegistry::MemoryRegistry;

    RegistryHandle parentEntry(RegistryHandle entry) override {
        ++parentRequests_;
        return MemoryRegistry::parentEntry(entry);
    }
    RegistryHandle addInterestNotification(NotificationPort& port, RegistryHandle service,
                                           InterestCallback callback) override {
        if (failNextInterest_.exchange(false)) {
            return kNoRegistryObject;
        }
        return MemoryRegistry::addInterestNotification(port, service, std::move(callback));
    }

    /// Makes the next addInterestNotification fail (return 0).
    void failNextInterestNotification() { failNextInterest_ = true; }
    /// Returns the number of parentEntry calls made so far.
    std::size_t parentRequests() const { return parentRequests_; }

private:
    std::atomic<std::size_t> parentRequests_ = 0;
    std::atomic<bool> failNextInterest_ = false;
};

} // namespace quaylet::testing
