// ProbedRegistry: an in-memory registry with a handle ledger, that fails on request.
#pragma once

#include <atomic>

#include "platform/memory_registry.h"
#include "tests/support/handle_ledger.h"

namespace quaylet::testing {

/// A MemoryRegistry for tests that account for its handles or make arming an interest
/// notification fail.
class ProbedRegistry final : public MemoryRegistry {
public:
    explicit ProbedRegistry(OperatingSystemVersion version = {11, 0, 0}) : MemoryRegistry(version) {
        attachLedger(*this);
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

private:
    std::atomic<bool> failNextInterest_ = false;
};

} // namespace quaylet::testing
