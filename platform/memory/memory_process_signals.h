// MemoryProcessSignals and MemoryApplicationBus: processes and a session bus held in memory.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/application_bus.h"
#include "platform/process_signals.h"

namespace quaylet {

/// One process of the table: its facts, and whether a SIGTERM ends it.
struct MemoryProcess {
    ProcessFacts facts;
    bool endsOnTerminate = true;
    bool ended = false;
};

/// A process table in memory. Signals change only the table: SIGKILL ends a process, SIGTERM
/// ends one that does not ignore it. No process ends by itself, and none has a descriptor.
class MemoryProcessSignals final : public ProcessSignals {
public:
    /// `self` is the caller; `ancestors` its parent first.
    MemoryProcessSignals(ProcessFacts self, std::vector<std::int32_t> ancestors)
        : self_(self), ancestors_(std::move(ancestors)) {}

    /// Adds `process`, replacing one with the same id.
    void add(const MemoryProcess& process) { table_->insert_or_assign(process.facts.pid, process); }
    /// Returns the process `pid` as it is now; null when there is none.
    const MemoryProcess* find(std::int32_t pid) const;

    std::unique_ptr<HeldProcess> hold(std::int32_t pid) override;
    std::optional<ProcessFacts> ownFacts() const override { return self_; }
    std::vector<std::int32_t> ownAncestors() const override { return ancestors_; }

private:
    ProcessFacts self_;
    std::vector<std::int32_t> ancestors_;
    std::shared_ptr<std::map<std::int32_t, MemoryProcess>> table_ =
        std::make_shared<std::map<std::int32_t, MemoryProcess>>();
};

/// A session bus in memory: the applications on it quit when asked, by ending in `processes`.
class MemoryApplicationBus final : public ApplicationBus {
public:
    explicit MemoryApplicationBus(MemoryProcessSignals& processes) : processes_(processes) {}
    /// Puts the application of `desktopEntry`, owned by process `pid`, on the bus.
    void add(const std::string& desktopEntry, std::int32_t pid) { owners_[desktopEntry] = pid; }

    bool requestQuit(const std::string& desktopEntry, std::int32_t pid) override;

private:
    MemoryProcessSignals& processes_;
    std::map<std::string, std::int32_t> owners_;
};

} // namespace quaylet
