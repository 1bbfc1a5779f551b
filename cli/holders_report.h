// The holders of volumes that stay mounted, as text for a terminal and as JSON for scripts.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "eject/holder.h"
#include "platform/string_table.h"

namespace quaylet {

/// Returns the heading of `strings` and a table of every holder, one a row: its volume, kind,
/// name, process id and user (empty for no process) and path. Empty when no volume is listed;
/// a volume without holders has a row saying that none was found.
std::string holdersText(const std::vector<VolumeHolders>& volumes, const StringTable& strings);

/// Returns the volumes as a JSON array: per volume "name", "mountPoint" and "holders", each
/// holder with "kind" ("process", "attached-image", "swap-file", "mount-inside",
/// "nfs-export"), "name", "path", "pid" (null for no process), "uid" (null when unknown),
/// "user", "desktopEntry" and "detail".
nlohmann::ordered_json holdersJson(const std::vector<VolumeHolders>& volumes);

} // namespace quaylet
