// EarlyFlush: the planned volumes' caches written out all at once, before the first unmount.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/volume_flush.h"
#include "volumes/volume_record.h"

namespace quaylet {

/// Flushes every planned volume at the same time, one thread each, so that the unmounts wait
/// for the slowest device rather than for every device in turn. The caller starts only the
/// first thread: each starts the next before its own flush, so that the caller goes on to its
/// first unmount at once. A flush holds its volume open; awaitBeforeUnmount waits for the
/// flushes an unmount would otherwise find busy. Destroying it waits for every flush still
/// running.
class EarlyFlush {
public:
    /// Starts flushing each of `volumes` through `flush`. A flush whose thread cannot be
    /// started is left out: the unmount writes the data out all the same, only later.
    EarlyFlush(VolumeFlush& flush, const std::vector<VolumeRecord>& volumes);
    EarlyFlush(const EarlyFlush&) = delete;
    EarlyFlush& operator=(const EarlyFlush&) = delete;
    ~EarlyFlush() = default; // the first thread joins, after the threads it started

    /// Waits for the flushes of `volume` and of every volume the same unmount takes with it
    /// (its whole disk; every flush when the disk of either is unknown).
    void awaitBeforeUnmount(const VolumeRecord& volume);

private:
    struct Planned {
        std::string mountPoint;
        std::uint64_t device = 0; ///< The volume's device number.
        std::string group;        ///< The unmount group; empty when unknown.
        bool over = false;        ///< The flush has returned, or was left out.
    };

    /// Starts the flushes of the volumes after `index` on a thread of its own, flushes `index`,
    /// and returns once all of them are over.
    void flushFrom(std::size_t index);
    void markOver(std::size_t from, std::size_t to);

    VolumeFlush& flush_;
    std::vector<Planned> planned_;
    std::mutex mutex_;
    std::condition_variable over_;
    std::jthread first_; // last: joins before the members its threads use go
};

} // namespace quaylet
