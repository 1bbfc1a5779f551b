// The status report as text for a terminal.
#pragma once

#include <string>

#include "cli/status_report.h"
#include "platform/string_table.h"

namespace quaylet {

/// Returns the report as lines of text: the docks seen, a table of the volumes to unmount in
/// their order with the reason for each, and a warning when the boot volume is behind the dock;
/// the sentences in the texts of `strings`.
std::string statusText(const StatusReport& report, const StringTable& strings);

/// Returns the line naming the dock sightings and their sources ("Docks: none seen" when none).
std::string docksLine(const std::vector<DockSightingSource>& sightings);

/// Returns why a planned volume is in the plan, in words ("image file X on Y").
std::string reasonText(const PlannedVolumeReason& reason);

} // namespace quaylet
