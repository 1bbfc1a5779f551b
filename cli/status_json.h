// The status report as a JSON document for scripts.
#pragma once

#include <string>

#include "cli/status_report.h"

namespace quaylet {

/// The version of the document's layout; it grows when a member changes meaning or goes away.
inline constexpr int kStatusJsonSchemaVersion = 1;

/// Returns the report as an indented JSON document: "schemaVersion", "docks" (sightings and their
/// sources), "everything", "bootVolumeBehindDock" (with "bootVolume", its name, when true) and
/// "volumes" in unmount order, then "leftMounted": the other block-device volumes with the
/// "reason" each stays ("boot-volume", "internal", "external", "image", "image-too-deep"), and
/// with --holders "holders": every holder of each planned volume (cli/holders_report.h). Bytes
/// that are not UTF-8 become U+FFFD.
std::string statusJson(const StatusReport& report);

} // namespace quaylet
