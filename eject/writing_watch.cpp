// One watch thread for a run's unmounts: silent at first, then a report of what is left each
// interval while a volume's unmount goes on.
#include "eject/writing_watch.h"

#include <system_error>
#include <utility>

namespace quaylet {

WritingWatch::WritingWatch(const WritebackGauge* gauge, WritingReport report, WatchTimes times)
    : gauge_(gauge), report_(std::move(report)), times_(times) {}

void WritingWatch::begin(const VolumeRecord& volume) {
    bool wake = false;
    {
        const std::lock_guard lock(mutex_);
        volume_ = &volume;
        ++watchNumber_;
        due_ = Clock::now() + times_.delay;
        // Asleep until a later time, the thread would report late; else it finds this volume
        // when it wakes, and an unmount that ends before then costs it nothing.
        wake = sleepsUntil_ > due_;
    }
    if (!thread_.joinable()) {
        try {
            thread_ = std::jthread([this](const std::stop_token& stop) { watch(stop); });
        } catch (const std::system_error&) {
            // No thread: the unmounts go on without reports.
        }
    } else if (wake) {
        wake_.notify_one();
    }
}

void WritingWatch::end() {
    // Taken while a report runs: the report is over when the lock is had.
    const std::lock_guard lock(mutex_);
    volume_ = nullptr;
    ++watchNumber_;
}

void WritingWatch::watch(const std::stop_token& stop) {
    std::unique_lock lock(mutex_);
    while (!stop.stop_requested()) {
        if (volume_ == nullptr) {
            sleepsUntil_ = Clock::time_point::max();
            wake_.wait(lock, stop, [this] { return volume_ != nullptr; });
            continue;
        }
        // Sleeps until the report is due unless woken for an earlier one; a watch that ended
        // or gave way to another meanwhile is found when it wakes.
        const std::uint64_t watched = watchNumber_;
        const Clock::time_point due = due_;
        sleepsUntil_ = due;
        if (wake_.wait_until(lock, stop, due, [&] { return watchNumber_ != watched; }) ||
            stop.stop_requested()) {
            continue;
        }
        // The lock is held while the report runs, so that the watch of the volume cannot end
        // in the middle of it.
        const WritebackReading left =
            gauge_ ? gauge_->read(volume_->deviceNumber) : WritebackReading{};
        // Nothing left to write: the wait is another (a password asked for, say), not writing.
        if (left.deviceBytes.value_or(left.systemBytes.value_or(1)) != 0) {
            report_(*volume_, left);
        }
        due_ = Clock::now() + times_.interval;
    }
}

} // namespace quaylet
