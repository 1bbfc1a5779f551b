// EarlyFlush: the planned volumes' caches written out all at once, before the first unmount.
#pragma once

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "platform/volume_flush.h"
#include "volumes/volume_record.h"

namespace quaylet {

/// Flushes every planned volume at the same time, one thread each, so that the unmounts wait
/// for the slowest device rather than for every device in turn. A flush holds its volume open;
/// awaitBeforeUnmount ends the flushes an unmount would otherwise find busy. Destroying it
/// waits for every flush still running.
class EarlyFlush {
public:
    /// Starts flushing each of `volumes` through `flush`. A flush whose thread cannot be
    /// started is left out: the unmount writes the data out all the same, only later.
    EarlyFlush(VolumeFlush& flush, const std::vector<VolumeRecord>& volumes);
    EarlyFlush(const EarlyFlush&) = delete;
    EarlyFlush& operator=(const EarlyFlush&) = delete;
    ~EarlyFlush() = default; // the threads join

    /// Waits for the flushes of `volume` and of every volume the same unmount takes with it
    /// (its whole disk; every flush when the disk of either is unknown).
    void awaitBeforeUnmount(const VolumeRecord& volume);

private:
    struct Started {
        std::uint64_t device = 0; ///< The volume's device number.
        std::string group;        ///< The unmount group; empty when unknown.
        std::jthread thread;
    };

    VolumeFlush& flush_;
    std::vector<Started> started_;
};

} // namespace quaylet
