// LinuxFileManager: volume names as the Linux desktop shows them (file system labels).
#pragma once

#include <optional>
#include <string>

#include "platform/file_manager.h"

namespace quaylet {

/// Names a mount root by its file system's label: from the udev database when udev has
/// probed the device, else as the mounted file system reports it (ext2/3/4, btrfs, xfs), else
/// read from the device itself with libblkid.
class LinuxFileManager final : public FileManager {
public:
    /// Returns the label of the file system of `mount`; nullopt when it has none or the label
    /// cannot be read. Reads the device only when neither the udev database nor the mounted
    /// file system gives a label.
    std::optional<std::string> displayName(const MountEntry& mount) const override;
};

} // namespace quaylet
