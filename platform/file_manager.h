// FileManager: the names under which the desktop shows mounted volumes.
#pragma once

#include <optional>
#include <string>

#include "platform/mount_table.h"

namespace quaylet {

/// The desktop's file manager, as far as naming volumes goes.
class FileManager {
public:
    virtual ~FileManager() = default;
    /// Returns the name under which the file manager shows the root of `mount`, the mount
    /// visible at its mount point; nullopt when it has none.
    virtual std::optional<std::string> displayName(const MountEntry& mount) const = 0;
};

} // namespace quaylet
