// Rounding the kernel's writeback figures to what they can honestly say.
#include "eject/writing_estimate.h"

#include <cstdint>

namespace quaylet {
namespace {

constexpr std::uint64_t kMegabyte = 1000 * 1000;

/// Returns `value` rounded to a multiple of `step`: to the nearest, or up for a bound.
std::uint64_t roundTo(std::uint64_t value, std::uint64_t step, bool up) {
    return (value + (up ? step - 1 : step / 2)) / step * step;
}

/// Returns the amount part: "about 40 MB left", "at most 2 GB left, counting all disks".
std::string amountText(const StringTable& strings, std::uint64_t bytes, bool upperBound) {
    if (bytes < kMegabyte) {
        return strings.text("LESS_THAN_1_MB_LEFT");
    }
    // The figures move while they are read and the device's are per-CPU sums: one or two
    // significant digits are all they carry.
    std::uint64_t megabytes = roundTo(bytes, kMegabyte, upperBound) / kMegabyte;
    if (megabytes >= 10) {
        megabytes = roundTo(megabytes, 10, upperBound);
    }
    const char* unit = upperBound ? "AT_MOST_MB_LEFT" : "ABOUT_MB_LEFT";
    if (megabytes >= 1000) {
        megabytes = roundTo(megabytes, 1000, upperBound) / 1000;
        unit = upperBound ? "AT_MOST_GB_LEFT" : "ABOUT_GB_LEFT";
    }
    return strings.format(unit, {std::to_string(megabytes)});
}

} // namespace

std::string writingEstimateText(const StringTable& strings, const std::string& volumeName,
                                const WritebackReading& left) {
    if (left.deviceBytes) {
        return strings.format("WRITING_DATA_AMOUNT",
                              {volumeName, amountText(strings, *left.deviceBytes, false)});
    }
    if (left.systemBytes) {
        return strings.format("WRITING_DATA_AMOUNT",
                              {volumeName, amountText(strings, *left.systemBytes, true)});
    }
    return strings.format("WRITING_DATA", {volumeName});
}

} // namespace quaylet
