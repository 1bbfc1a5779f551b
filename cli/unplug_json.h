// The outcome of the unplug command as a JSON document for scripts.
#pragma once

#include <string>

#include "eject/unplug_outcome.h"

namespace quaylet {

/// The version of the document's layout; it grows when a member changes meaning or goes away.
inline constexpr int kUnplugJsonSchemaVersion = 1;

/// Returns `outcome` as an indented JSON document: "schemaVersion", "safe", "unreadable", the
/// notification's "title", "subtitle" and "text" (null when it has none), "volume" (what still
/// holds the storage; "" when nothing does), "busyProcess" (null when none was found) and
/// "stillMounted", the volumes left mounted in unmount order, then "holders": every holder of
/// each volume still mounted or held (cli/holders_report.h). Bytes that are not UTF-8 become
/// U+FFFD.
std::string unplugJson(const UnplugOutcome& outcome, const UnplugNotification& notification);

} // namespace quaylet
