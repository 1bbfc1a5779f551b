// Path containment by mount point, byte for byte, as zero-terminated strings compare.
#include "volumes/path_on_volumes.h"

namespace quaylet {
namespace {

std::string_view upToZero(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

const VolumeRecord* findIn(std::string_view path, const std::vector<VolumeRecord>& volumes) {
    for (const VolumeRecord& volume : volumes) {
        const std::string_view mountPoint = upToZero(volume.mountPoint);
        // A volume at "/" holds no other path: it would have to begin with "//".
        if (path.starts_with(mountPoint) &&
            (path.size() == mountPoint.size() || path[mountPoint.size()] == '/')) {
            return &volume;
        }
    }
    return nullptr;
}

} // namespace

const VolumeRecord* findHostVolume(std::string_view path, const std::vector<VolumeRecord>& hosts,
                                   const std::vector<VolumeRecord>* extraHosts) {
    path = upToZero(path);
    if (!path.starts_with('/') || path.size() == 1) {
        return nullptr;
    }
    if (const VolumeRecord* host = findIn(path, hosts)) {
        return host;
    }
    return extraHosts == nullptr ? nullptr : findIn(path, *extraHosts);
}

bool isPathOnVolumes(std::string_view path, const std::vector<VolumeRecord>& hosts,
                     const std::vector<VolumeRecord>* extraHosts) {
    return findHostVolume(path, hosts, extraHosts) != nullptr;
}

} // namespace quaylet
