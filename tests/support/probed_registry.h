// ProbedRegistry: an in-memory registry with a handle ledger, that counts parent requests and
// fails on request.
#pragma once

#include <atomic>
#include <cstddef>

#include "platform/memory_registry.h"
#include "tests/support/handle_ledger.h"

namespace quaylet::testing {

/// A MemoryRegistry for tests that account for its handles, need to see how far a walk went or
/// make arming an interest notification fail.
class ProbedRegistry final : public MemoryRegistry {
public:
    explicit ProbedRegistry(OperatingSystemVersion version = {11, 0, 0})
        : MemoryRegistry(version), ledger_(attachLedger(*this)) {}

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
    /// The ledger of the handles handed out.
    const HandleLedger& ledger() const { return ledger_; }
    /// Returns the number of parentEntry calls made so far.
    std::size_t parentRequests() const { return parentRequests_; }

private:
    HandleLedger& ledger_;
    std::atomic<std::size_t> parentRequests_ = 0;
    std::atomic<bool> failNextInterest_ = false;
};

} // namespace quaylet::testing
