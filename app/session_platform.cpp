// The session's platform: a machine snapshot held in memory, or the live Linux system.
#include "app/session_platform.h"

#include "platform/linux/default_diskutil_path.h"
#include "platform/memory/memory_platform.h"

// The live system's platform comes from the Linux backend's factory. Until a build has it,
// the live system is not available and the application runs on snapshots only.
#if __has_include("platform/linux/linux_platform.h")
#include "platform/linux/linux_platform.h"
#define QUAYLET_HAS_LIVE_PLATFORM 1
#else
#define QUAYLET_HAS_LIVE_PLATFORM 0
#endif

namespace quaylet {

namespace {

std::unique_ptr<Platform> makeLivePlatform(std::string& error) {
#if QUAYLET_HAS_LIVE_PLATFORM
    std::optional<Platform> platform = makeLinuxPlatform(LinuxPlatformOptions{}, error);
    if (!platform) {
        error = "this system's devices cannot be read: " + error;
        return nullptr;
    }
    platform->toolCommands = ToolCommands::forLinux(defaultDiskutilPath());
    return std::make_unique<Platform>(std::move(*platform));
#else
    // FALLBACK while the Linux backend's factory (platform/linux/linux_platform.h) is not in
    // this build: say so, and point at the snapshots, which work.
    error = "the live system's platform is not available in this build; "
            "start with --snapshot FILE to run on a machine snapshot";
    return nullptr;
#endif
}

} // namespace

std::unique_ptr<Platform> makeSessionPlatform(const std::optional<std::string>& snapshotPath,
                                              std::string& error) {
    if (!snapshotPath) {
        return makeLivePlatform(error);
    }
    std::optional<Platform> platform = loadSnapshotPlatform(*snapshotPath, error);
    if (!platform) {
        return nullptr;
    }
    return std::make_unique<Platform>(std::move(*platform));
}

} // namespace quaylet
