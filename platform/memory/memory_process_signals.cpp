// Processes and a session bus held in memory.
#include "platform/memory/memory_process_signals.h"

namespace quaylet {
namespace {

using Table = std::map<std::int32_t, MemoryProcess>;

class MemoryHeldProcess final : public HeldProcess {
public:
    MemoryHeldProcess(std::shared_ptr<Table> table, std::int32_t pid)
        : table_(std::move(table)), pid_(pid) {}

    std::int32_t pid() const override { return pid_; }
    std::optional<ProcessFacts> facts() const override {
        return hasEnded() ? std::nullopt : std::optional(table_->at(pid_).facts);
    }
    bool send(EndSignal signal) override {
        if (hasEnded()) {
            return false;
        }
        MemoryProcess& process = table_->at(pid_);
        process.ended = signal == EndSignal::Kill || process.endsOnTerminate;
        return true;
    }
    bool hasEnded() const override {
        const auto found = table_->find(pid_);
        return found == table_->end() || found->second.ended;
    }
    int endDescriptor() const override { return -1; }

private:
    std::shared_ptr<Table> table_;
    std::int32_t pid_;
};

} // namespace

const MemoryProcess* MemoryProcessSignals::find(std::int32_t pid) const {
    const auto found = table_->find(pid);
    return found == table_->end() ? nullptr : &found->second;
}

std::unique_ptr<HeldProcess> MemoryProcessSignals::hold(std::int32_t pid) {
    const MemoryProcess* process = find(pid);
    if (process == nullptr || process->ended) {
        return nullptr;
    }
    return std::make_unique<MemoryHeldProcess>(table_, pid);
}

bool MemoryApplicationBus::requestQuit(const std::string& desktopEntry, std::int32_t pid) {
    const auto owner = owners_.find(desktopEntry);
    if (owner == owners_.end() || owner->second != pid) {
        return false;
    }
    // The application quits as it would on its own quit action: whether it ignores SIGTERM
    // does not matter.
    if (std::unique_ptr<HeldProcess> process = processes_.hold(pid)) {
        process->send(EndSignal::Kill);
    }
    return true;
}

} // namespace quaylet
