// KernelWritebackGauge: what Linux shows of the data still to be written to a device.
//
// What the kernel exposes, and what of it fits:
// - /proc/meminfo Dirty and Writeback: page-cache data not yet on any device, system-wide. An
//   upper bound for one device, never its own figure.
// - /sys/block/DEV/stat and /sys/block/DEV/inflight: sectors written so far and requests in
//   flight. They say that the device is writing, not how much is left: not used for an amount.
// - /sys/class/bdi/MAJ:MIN/: the writeback limits (ratios, read-ahead), no counters.
// - debugfs bdi/MAJ:MIN/stats: BdiReclaimable (dirty) and BdiWriteback of the device's own
//   writeback, in kB, read from per-CPU counters (off by a few pages at most). The one
//   per-device amount, readable only where debugfs is mounted and open to the reader.
#pragma once

#include <string>

#include "platform/writeback_gauge.h"

namespace quaylet {

/// Reads the device's writeback statistics from debugfs and the system's from /proc/meminfo.
class KernelWritebackGauge final : public WritebackGauge {
public:
    /// Reads the block devices of the sysfs tree at `sysRoot`, debugfs at `debugRoot` and the
    /// memory figures from `meminfoPath`.
    explicit KernelWritebackGauge(std::string sysRoot = "/sys",
                                  std::string debugRoot = "/sys/kernel/debug",
                                  std::string meminfoPath = "/proc/meminfo");
    /// Returns the figures that can be read now.
    WritebackReading read(std::uint64_t deviceNumber) const override;

private:
    std::string sysRoot_;
    std::string debugRoot_;
    std::string meminfoPath_;
};

} // namespace quaylet
