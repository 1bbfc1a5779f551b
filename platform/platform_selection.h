// selectPlatform: the machine a front end works on, a snapshot in memory or the live system.
#pragma once

#include <optional>
#include <string>
#include <system_error>

#include "platform/platform.h"

namespace quaylet {

/// Which machine to build: the snapshot file when one is given, else the live Linux system.
struct PlatformChoice {
    std::string snapshotPath;  ///< A machine snapshot file; empty for the live system.
    std::string sysfsRoot;     ///< Root of the live system's device tree; empty for /sys.
    std::string mountInfoPath; ///< A recorded mount table to use instead of this system's.
    bool watchMounts = true;   ///< Whether the live system's mount table is watched.
};

/// What could not be read when no platform could be built.
struct PlatformSelectionError {
    enum class Source { Snapshot, DeviceTree, MountWatch, RecordedMountTable };
    Source source = Source::DeviceTree;
    /// The snapshot file, the device tree's root or the recorded mount table.
    std::string path;
    std::string unlisted; ///< The device tree's folder that could not be listed.
    std::error_code code; ///< What the system said, when it said something.
    std::string problem;  ///< Where and what a malformed snapshot is wrong, as its parser says.
};

/// Builds the platform `choice` names. A recorded mount table replaces the live one; its
/// devices need not be this system's, so they are found in the device tree by name alone and
/// named after their mount points. Returns nullopt with `error` set when the snapshot, the
/// device tree or the recorded mount table cannot be read.
std::optional<Platform> selectPlatform(const PlatformChoice& choice, PlatformSelectionError& error);

} // namespace quaylet
