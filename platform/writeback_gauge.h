// WritebackGauge: how much cached data the kernel still has to write to a device.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>

namespace quaylet {

/// What the kernel says of the data not yet on a device. Both figures are what the kernel's
/// counters held at one moment; the device's own is approximate (per-CPU counters), the
/// system's counts every device together.
struct WritebackReading {
    /// Bytes dirty or under writeback for the device's own writeback statistics; none where
    /// the kernel does not show them (they live in debugfs, which may be absent or closed).
    std::optional<std::uint64_t> deviceBytes;
    /// Bytes dirty or under writeback in the whole system: what is left for any one device is
    /// at most this. None when it cannot be read.
    std::optional<std::uint64_t> systemBytes;

    friend bool operator==(const WritebackReading&, const WritebackReading&) = default;
};

/// Reads the writeback figures of a device.
class WritebackGauge {
public:
    virtual ~WritebackGauge() = default;
    /// Returns what is left to write to the device carrying file system `deviceNumber` (a
    /// volume record's; 0 for the system's figure alone); the figures that cannot be read are
    /// left out.
    virtual WritebackReading read(std::uint64_t deviceNumber) const = 0;
};

/// A gauge held in memory: the same reading for every device, nothing known by default.
class MemoryWritebackGauge final : public WritebackGauge {
public:
    explicit MemoryWritebackGauge(WritebackReading reading = {}) : reading_(std::move(reading)) {}
    /// Returns the reading given.
    WritebackReading read(std::uint64_t) const override { return reading_; }

private:
    WritebackReading reading_;
};

} // namespace quaylet
