// Scripted stand-ins for the scan, the unmount worker, the busy-process finder and the dock
// monitor, linked only into the application's tests while those units are built elsewhere.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "eject/busy_process.h"
#include "volumes/unplug_plan.h"

namespace quaylet::testing {

/// A gate a worker thread waits at until the test opens it.
class Gate {
public:
    /// Lets every waiter through, now and later.
    void open();
    /// Blocks until the gate is open.
    void wait();

private:
    std::mutex mutex_;
    std::condition_variable opened_;
    bool open_ = false;
};

/// What the stand-ins do and what they saw. Reset before each test.
struct CoreScript {
    /// scanVolumes: fills the plan, may set the boot flag, returns the count.
    std::function<std::int32_t(UnplugPlan&, bool everything, bool& bootVolumeFound)> scan;
    /// unmountAll, on a worker thread: leaves failures in the plan.
    std::function<void(UnplugPlan&)> unmount;
    /// The busy-process search, on a worker thread, over the searched mount points.
    std::function<std::vector<BusyProcess>(const std::vector<std::string>&)> findBusy;
    std::atomic<int> scanCalls{0};
    std::atomic<int> unmountCalls{0};
    std::vector<bool> scanEverything;
    std::vector<std::string> searchedPaths;
    /// Dock sightings the dock monitor records when it starts.
    std::uint64_t initialDocks = 0;
};

/// Returns the script, reset to its defaults by resetCoreScript.
CoreScript& coreScript();
/// Resets the script: scan returns 0, unmount leaves nothing, no busy process, no docks.
void resetCoreScript();
/// Makes the started dock monitor report `count` sightings through its notification port.
void queueDockCount(std::uint64_t count);

} // namespace quaylet::testing
