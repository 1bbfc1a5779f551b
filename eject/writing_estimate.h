// The "Writing data to NAME…" text, with as much of an amount left as the kernel's figures bear.
#pragma once

#include <string>

#include "platform/string_table.h"
#include "platform/writeback_gauge.h"

namespace quaylet {

/// Returns the text that says data is still being written to the volume `volumeName`, in the
/// texts of `strings`. With the device's own figure it adds about how much is left, rounded
/// (whole MB below 10 MB, tens of MB below 1 GB, whole GB above; "less than 1 MB" below that);
/// with only the system's figure it adds at most how much, rounded up and said to count every
/// disk; with neither, no amount.
std::string writingEstimateText(const StringTable& strings, const std::string& volumeName,
                                const WritebackReading& left);

} // namespace quaylet
