// The name under which the user knows a mounted volume.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/file_manager.h"
#include "platform/mount_table.h"

namespace quaylet {

/// Returns the file manager's display name of `mount` when it has a non-empty one, else the
/// last component of its mount point.
std::string volumeDisplayName(const FileManager& fileManager, const MountEntry& mount);

/// Returns the last component of `path`, trailing "/" ignored ("/Volumes/Backup/" gives
/// "Backup"); the whole path when it is empty or only "/" characters.
std::string lastPathComponent(std::string_view path);

/// The display names of the volumes of one reading of the mount table. A name is worked out
/// when first asked for and kept for the mount point, so naming costs nothing for the mounts
/// no one names, and the table is never read again.
class VolumeNames {
public:
    /// Names through `fileManager` the mounts of `table`; both must outlive this.
    VolumeNames(const FileManager& fileManager, const std::vector<MountEntry>& table);

    /// Returns the display name of the volume visible at `mountPoint`, the last mount on it in
    /// the table; the last component of `mountPoint` when the table has no mount there.
    const std::string& displayName(const std::string& mountPoint);

private:
    const FileManager& fileManager_;
    std::unordered_map<std::string_view, const MountEntry*> visible_;
    std::unordered_map<std::string, std::string> names_;
    /// The file manager's name of each file system, by device number: bind mounts and other
    /// mounts of one file system share its label, read once.
    std::unordered_map<std::uint64_t, std::optional<std::string>> labels_;
};

} // namespace quaylet
