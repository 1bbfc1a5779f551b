// The registry's test probes: a ledger that accounts for every handle, so tests can prove each is
// released exactly once, and an in-memory registry that carries one and fails on request.
#pragma once

#include <atomic>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "platform/memory_registry.h"

namespace quaylet::testing {

/// Keeps the live references a MemoryRegistry handed out and counts releases of handles that
/// were not live (released twice, never handed out, or only lent to a callback).
class HandleLedger final : public HandleAccounting {
public:
    void handedOut(RegistryHandle handle, std::string_view className,
                   std::string_view name) override {
        const std::lock_guard lock(mutex_);
        live_[handle] =
            std::string(className) + (name.empty() ? "" : " '" + std::string(name) + "'");
    }
    void released(RegistryHandle handle) override {
        const std::lock_guard lock(mutex_);
        badReleases_ += live_.erase(handle) == 0 ? 1 : 0;
    }

    /// Returns the number of references handed out and not yet released.
    std::size_t outstanding() const {
        const std::lock_guard lock(mutex_);
        return live_.size();
    }
    /// Returns the number of releases of handles that were not live.
    std::size_t badReleases() const {
        const std::lock_guard lock(mutex_);
        return badReleases_;
    }
    /// Returns one line per outstanding reference saying what it refers to.
    std::vector<std::string> describe() const {
        const std::lock_guard lock(mutex_);
        std::vector<std::string> lines;
        for (const auto& [handle, what] : live_) {
            lines.push_back("handle " + std::to_string(handle) + ": " + what);
        }
        return lines;
    }

private:
    mutable std::mutex mutex_;
    std::map<RegistryHandle, std::string> live_;
    std::size_t badReleases_ = 0;
};

/// Attaches a new ledger to `registry` and returns it; attach before any handle is handed out.
inline HandleLedger& attachLedger(MemoryRegistry& registry) {
    auto ledger = std::make_unique<HandleLedger>();
    HandleLedger& attached = *ledger;
    registry.setHandleAccounting(std::move(ledger));
    return attached;
}

/// The ledger attached to `registry` (attachLedger must have run).
inline HandleLedger& ledgerOf(const MemoryRegistry& registry) {
    return dynamic_cast<HandleLedger&>(*registry.handleAccounting());
}

/// Succeeds when every handle `registry`'s ledger saw has been released exactly once.
inline ::testing::AssertionResult noHandlesLeft(const MemoryRegistry& registry) {
    const HandleLedger& ledger = ledgerOf(registry);
    if (ledger.outstanding() == 0 && ledger.badReleases() == 0) {
        return ::testing::AssertionSuccess();
    }
    auto failure = ::testing::AssertionFailure() << ledger.badReleases() << " bad releases, "
                                                 << ledger.outstanding() << " handles outstanding:";
    for (const std::string& line : ledger.describe()) {
        failure << "\n  " << line;
    }
    return failure;
}

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
