// LinuxFileManager: volume names as the Linux desktop shows them (file system labels).
#pragma once

#include <optional>
#include <string>

#include "platform/file_manager.h"

namespace quaylet {

/// Names a mount root by its file system's label: from the udev database when udev has
/// probed the device, else read from the device itself with libblkid.
class LinuxFileManager final : public FileManager {
public:
    /// Names by the mount table at `mountInfo` (this process's by default).
    explicit LinuxFileManager(std::string mountInfo = "/proc/self/mountinfo");

    /// Returns the label of the file system mounted at `path`; nullopt when `path` is no
    /// mount root, the file system has no label, or the label cannot be read.
    std::optional<std::string> displayName(const std::string& path) const override;

private:
    std::string mountInfo_;
};

/// Returns `text` with udev's \xNN escapes decoded (ID_FS_LABEL_ENC); other text unchanged.
std::string decodeUdevEscapes(const std::string& text);

} // namespace quaylet
