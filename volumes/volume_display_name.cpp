// Display names of volumes: the file manager's, or the mount point's last component.
#include "volumes/volume_display_name.h"

namespace quaylet {

std::string volumeDisplayName(const FileManager& fileManager, const MountEntry& mount) {
    if (auto name = fileManager.displayName(mount); name && !name->empty()) {
        return std::move(*name);
    }
    return lastPathComponent(mount.mountPoint);
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

VolumeNames::VolumeNames(const FileManager& fileManager, const std::vector<MountEntry>& table)
    : fileManager_(fileManager) {
    visible_.reserve(table.size());
    for (const MountEntry& mount : table) {
        visible_.insert_or_assign(mount.mountPoint, &mount); // a later mount covers an earlier
    }
}

const std::string& VolumeNames::displayName(const std::string& mountPoint) {
    auto named = names_.find(mountPoint);
    if (named == names_.end()) {
        const auto visible = visible_.find(mountPoint);
        std::string name;
        if (visible == visible_.end()) {
            name = lastPathComponent(mountPoint);
        } else if (const MountEntry& mount = *visible->second; mount.deviceNumber == 0) {
            name = volumeDisplayName(fileManager_, mount);
        } else {
            auto label = labels_.find(mount.deviceNumber);
            if (label == labels_.end()) {
                label = labels_.emplace(mount.deviceNumber, fileManager_.displayName(mount)).first;
            }
            name = label->second && !label->second->empty() ? *label->second
                                                            : lastPathComponent(mountPoint);
        }
        named = names_.emplace(mountPoint, std::move(name)).first;
    }
    return named->second;
}

} // namespace quaylet
