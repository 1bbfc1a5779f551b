// A watch thread per slow unmount: silent at first, then a report of what is left each interval.
#include "eject/writing_watch.h"

#include <system_error>
#include <utility>

namespace quaylet {

WritingWatch::WritingWatch(const VolumeRecord& volume, const WritebackGauge* gauge,
                           WritingReport report, WatchTimes times)
    : volume_(volume), gauge_(gauge), report_(std::move(report)), times_(times) {
    try {
        thread_ = std::jthread([this](const std::stop_token& stop) { watch(stop); });
    } catch (const std::system_error&) {
        // No thread: the unmount goes on without reports.
    }
}

void WritingWatch::watch(const std::stop_token& stop) {
    std::chrono::milliseconds wait = times_.delay;
    std::unique_lock lock(mutex_);
    // Waits the whole time unless the unmount returns (the destructor asks the thread to stop).
    while (!wake_.wait_for(lock, stop, wait, [] { return false; }) && !stop.stop_requested()) {
        lock.unlock();
        const WritebackReading left =
            gauge_ ? gauge_->read(volume_.deviceNumber) : WritebackReading{};
        // Nothing left to write: the wait is another (a password asked for, say), not writing.
        if (left.deviceBytes.value_or(left.systemBytes.value_or(1)) != 0) {
            report_(volume_, left);
        }
        lock.lock();
        wait = times_.interval;
    }
}

} // namespace quaylet
