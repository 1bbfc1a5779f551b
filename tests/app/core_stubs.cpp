// The scripted stand-ins: each core entry point the application calls forwards to coreScript().
#include "core_stubs.h"

#include <deque>
#include <memory>

#include "dock/dock_monitor.h"
#include "eject/busy_process_finder.h"
#include "eject/unmount_worker.h"
#include "fake_platform.h"
#include "volumes/scan_volumes.h"

namespace quaylet {

namespace testing {

namespace {

// The port of the started dock monitor: a pipe, and the counts queued for dispatch.
class ScriptedPort : public NotificationPort {
public:
    int descriptor() const override { return pipe_.descriptor(); }
    void dispatchPending() override;
    void queue(std::uint64_t count) {
        counts_.push_back(count);
        pipe_.trigger();
    }
    std::function<void(std::uint64_t)> deliver;

private:
    TriggerPipe pipe_;
    std::deque<std::uint64_t> counts_;
};

void ScriptedPort::dispatchPending() {
    pipe_.drain();
    while (!counts_.empty()) {
        const std::uint64_t count = counts_.front();
        counts_.pop_front();
        deliver(count);
    }
}

ScriptedPort* startedPort = nullptr;

} // namespace

void Gate::open() {
    const std::lock_guard lock(mutex_);
    open_ = true;
    opened_.notify_all();
}

void Gate::wait() {
    std::unique_lock lock(mutex_);
    opened_.wait(lock, [this] { return open_; });
}

CoreScript& coreScript() {
    static CoreScript script;
    return script;
}

void resetCoreScript() {
    CoreScript& script = coreScript();
    script.scan = [](UnplugPlan&, bool, bool&) {
        return 0;
    };
    script.unmount = [](UnplugPlan&) {
    };
    script.findBusy = [](const std::vector<std::string>&) {
        return std::vector<BusyProcess>{};
    };
    script.scanCalls = 0;
    script.unmountCalls = 0;
    script.scanEverything.clear();
    script.searchedPaths.clear();
    script.initialDocks = 0;
}

void queueDockCount(std::uint64_t count) {
    startedPort->queue(count);
}

} // namespace testing

using testing::coreScript;

std::int32_t scanVolumes(const ScanSources&, UnplugPlan& plan, bool everything,
                         bool& bootVolumeFound) {
    ++coreScript().scanCalls;
    coreScript().scanEverything.push_back(everything);
    plan.clear();
    return coreScript().scan(plan, everything, bootVolumeFound);
}

void unmountAll(UnplugPlan& plan, const UnmountTools&) {
    ++coreScript().unmountCalls;
    plan.failures.clear();
    coreScript().unmount(plan);
}

BusyProcessFinder::BusyProcessFinder(ProcessTools tools) : tools_(tools) {}

void BusyProcessFinder::addFailedVolumes(const std::vector<UnmountFailure>& failures) {
    for (const UnmountFailure& failure : failures) {
        searchPaths_.push_back(failure.mountPoint);
    }
}

std::uint32_t BusyProcessFinder::findBusyProcesses() {
    coreScript().searchedPaths = searchPaths_;
    const std::vector<BusyProcess> found = coreScript().findBusy(searchPaths_);
    busyProcesses_.insert(busyProcesses_.end(), found.begin(), found.end());
    return static_cast<std::uint32_t>(busyProcesses_.size());
}

std::uint32_t BusyProcessFinder::copyBusyProcesses(std::vector<BusyProcess>& destination) const {
    destination = busyProcesses_;
    return static_cast<std::uint32_t>(busyProcesses_.size());
}

struct DockMonitor::State {
    DockCountObserver observer = nullptr;
    void* context = nullptr;
    std::uint64_t count = 0;
    std::unique_ptr<testing::ScriptedPort> port;

    void report(std::uint64_t newCount) {
        count = newCount;
        if (observer && context) {
            observer(context, count);
        }
    }
};

DockMonitor::DockMonitor(Registry&) : state_(std::make_unique<State>()) {}

DockMonitor::~DockMonitor() {
    if (state_->port.get() == testing::startedPort) {
        testing::startedPort = nullptr;
    }
}

void DockMonitor::setDockCountObserver(DockCountObserver observer, void* context) {
    state_->observer = observer;
    state_->context = context;
}

bool DockMonitor::startDockMonitor() {
    if (!state_->port) {
        state_->port = std::make_unique<testing::ScriptedPort>();
        state_->port->deliver = [this](std::uint64_t count) {
            state_->report(count);
        };
        testing::startedPort = state_->port.get();
        for (std::uint64_t sighting = 1; sighting <= coreScript().initialDocks; ++sighting) {
            state_->report(sighting);
        }
    }
    return state_->count > 0;
}

NotificationPort* DockMonitor::notificationPort() const {
    return state_->port.get();
}

std::uint64_t DockMonitor::dockCount() const {
    return state_->count;
}

} // namespace quaylet
