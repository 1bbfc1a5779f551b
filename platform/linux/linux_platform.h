// makeLinuxPlatform: the live Linux system's platform services, as the front ends select them.
#pragma once

#include <optional>
#include <string>
#include <system_error>

#include "platform/platform.h"

namespace quaylet {

/// Where the Linux platform reads the system from.
struct LinuxPlatformOptions {
    std::string sysfsRoot = "/sys"; ///< Root of the device tree (a sysfs mount or a copy of one).
    /// Whether to watch the mount table; false leaves `mountMonitor` empty. A command that runs
    /// once never waits for changes, and closing the watch (an inotify instance) makes the
    /// kernel wait for a grace period, about 10 ms: more than the whole scan.
    bool watchMounts = true;
};

/// The disk tool's program name.
inline constexpr const char* kDiskutilName = "quaylet-diskutil";

/// Returns the path of Quaylet's helper file `name` (a program or module): the one in the folder
/// of the running executable when it is there (a build tree), else PREFIX/libexec/quaylet/NAME
/// beside the executable's PREFIX/bin; `name` alone when the executable's folder cannot be read.
std::string helperPath(const std::string& name);

/// Returns the path of quaylet-diskutil, found as helperPath finds a helper; the bare program
/// name is looked up in PATH when started.
std::string defaultDiskutilPath();

/// Why the live system's platform could not be built.
struct LinuxPlatformError {
    enum class Kind {
        DeviceTree, ///< The device folder of the tree could not be listed.
        MountWatch, ///< The mount table could not be watched.
    };
    Kind kind = Kind::DeviceTree;
    std::string path;     ///< The folder that could not be listed (DeviceTree); else empty.
    std::error_code code; ///< What the system said.
};

/// Builds the live system's platform; nullopt with `error` set when the device tree cannot be
/// read or the mount table cannot be watched.
std::optional<Platform> makeLinuxPlatform(const LinuxPlatformOptions& options,
                                          LinuxPlatformError& error);

} // namespace quaylet
