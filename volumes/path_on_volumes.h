// Whether a path lies on one of a list of planned volumes.
#pragma once

#include <string_view>
#include <vector>

#include "volumes/volume_record.h"

namespace quaylet {

/// Returns the first volume of `hosts`, then of `extraHosts` (when given), whose mount point
/// holds `path`: the path equals the mount point or continues it with "/". Returns null when
/// none does, and for a path that is not absolute or is "/" alone.
const VolumeRecord* findHostVolume(std::string_view path, const std::vector<VolumeRecord>& hosts,
                                   const std::vector<VolumeRecord>* extraHosts);

/// Returns whether `path` lies on a volume of `hosts` or of `extraHosts` (when given).
bool isPathOnVolumes(std::string_view path, const std::vector<VolumeRecord>& hosts,
                     const std::vector<VolumeRecord>* extraHosts);

} // namespace quaylet
