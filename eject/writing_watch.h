// WritingWatch: reports, while a volume's unmount has not returned, what is still to be written.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
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

/// Watches the unmounts of one run, one volume at a time, from one thread of its own: when a
/// volume's watch has not ended `times.delay` after it began, reports through `report`, then
/// again every `times.interval`, until it ends; a reading by which nothing at all is left is
/// not reported. A short unmount never hears of it. No report of a volume begins after its
/// watch has ended, nor any after the destructor has returned.
class WritingWatch {
public:
    /// Watches nothing yet; reads `gauge` (none: reports without figures).
    WritingWatch(const WritebackGauge* gauge, WritingReport report, WatchTimes times = {});
    WritingWatch(const WritingWatch&) = delete;
    WritingWatch& operator=(const WritingWatch&) = delete;
    ~WritingWatch() = default; // the thread is asked to stop and joins

    /// Starts watching `volume`, which must outlive its watch, in place of the one before.
    /// The thread starts with the first volume; without a thread to be had, watches nothing.
    void begin(const VolumeRecord& volume);
    /// Ends the watch of the current volume; returns once a report of it that was running is
    /// over.
    void end();

private:
    using Clock = std::chrono::steady_clock;

    void watch(const std::stop_token& stop);

    const WritebackGauge* gauge_;
    WritingReport report_;
    WatchTimes times_;
    std::mutex mutex_;
    std::condition_variable_any wake_;
    const VolumeRecord* volume_ = nullptr; ///< The volume watched now; null between two.
    std::uint64_t watchNumber_ = 0;        ///< Counts the watches begun, to tell them apart.
    Clock::time_point due_;                ///< When the current volume's next report is due.
    /// Until when the thread sleeps without being woken; the maximum while it waits for a
    /// volume. A volume whose first report is due earlier wakes it.
    Clock::time_point sleepsUntil_ = Clock::time_point::max();
    std::jthread thread_; // last: stops and joins before the members it reads go
};

} // namespace quaylet
