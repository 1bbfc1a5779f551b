// The session's platform: a machine snapshot held in memory, or the live Linux system.
#include "app/session_platform.h"

#include "platform/linux/linux_platform.h"
#include "platform/memory/memory_platform.h"

namespace quaylet {

std::unique_ptr<Platform> makeSessionPlatform(const std::optional<std::string>& snapshotPath,
                                              std::string& error) {
    std::optional<Platform> platform;
    if (snapshotPath) {
        platform = loadSnapshotPlatform(*snapshotPath, error);
    } else {
        platform = makeLinuxPlatform(LinuxPlatformOptions{}, error);
        if (!platform) {
            error = "this system's devices cannot be read: " + error;
        }
    }
    if (!platform) {
        return nullptr;
    }
    return std::make_unique<Platform>(std::move(*platform));
}

} // namespace quaylet
