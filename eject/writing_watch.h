// WritingWatch: reports, while a volume's unmount has not returned, what is still to be written.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/writeback_gauge.h"
#include "volumes/volume_record.h"

namespace quaylet {

/// Hears, from the watch's own thread, that `volume` is still being written to and what the
/// kernel says is left.
using WritingReport = std::function<void(const VolumeRecord& volume, const WritebackReading& left)>;

/// When a watch speaks up first and how often after that.
struct WatchTimes {
    std::chrono::milliseconds delay{1500};    ///< Silence before the first report.
    std::chrono::milliseconds interval{1000}; ///< Between reports after that.
};

/// Watches one volume's unmount from a thread of its own: when it has not ended after
/// `times.delay`, reports through `report`, then again every `times.interval`, until the watch
/// is destroyed; a reading by which nothing at all is left is not reported. A short unmount
/// never hears of it. No report begins after the destructor has returned.
class WritingWatch {
public:
    /// Starts watching `volume`, reading `gauge` (none: reports without figures). Without a
    /// thread to be had, watches nothing.
    WritingWatch(const VolumeRecord& volume, const WritebackGauge* gauge, WritingReport report,
                 WatchTimes times = {});
    WritingWatch(const WritingWatch&) = delete;
    WritingWatch& operator=(const WritingWatch&) = delete;
    ~WritingWatch() = default; // the thread is asked to stop and joins

private:
    void watch(const std::stop_token& stop);

    const VolumeRecord& volume_;
    const WritebackGauge* gauge_;
    WritingReport report_;
    WatchTimes times_;
    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::jthread thread_; // last: starts once the members it reads are set
};

} // namespace quaylet
