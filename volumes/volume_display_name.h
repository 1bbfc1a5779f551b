// The name under which the user knows a mounted volume.
#pragma once

#include <string>
#include <string_view>

#include "platform/file_manager.h"

namespace quaylet {

/// Returns the file manager's display name of `mountPoint` when it has a non-empty one, else
/// the mount point's last component.
std::string volumeDisplayName(const FileManager& fileManager, const std::string& mountPoint);

/// Returns the last component of `path`, trailing "/" ignored ("/Volumes/Backup/" gives
/// "Backup"); the whole path when it is empty or only "/" characters.
std::string lastPathComponent(std::string_view path);

} // namespace quaylet
