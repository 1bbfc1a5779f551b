// Display names of volumes: the file manager's, or the mount point's last component.
#include "volumes/volume_display_name.h"

namespace quaylet {

std::string volumeDisplayName(const FileManager& fileManager, const std::string& mountPoint) {
    if (auto name = fileManager.displayName(mountPoint); name && !name->empty()) {
        return std::move(*name);
    }
    return lastPathComponent(mountPoint);
}

std::string lastPathComponent(std::string_view path) {
    const auto end = path.find_last_not_of('/');
    if (end == std::string_view::npos) {
        return std::string(path);
    }
    const auto slash = path.rfind('/', end);
    const auto begin = slash == std::string_view::npos ? 0 : slash + 1;
    return std::string(path.substr(begin, end + 1 - begin));
}

} // namespace quaylet
