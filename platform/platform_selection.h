// selectPlatform: the machine a front end works on, a snapshot in memory or the live system.
#pragma once

#include <optional>
#include <string>

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
    enum class Source { Snapshot, DeviceTree, RecordedMountTable };
    Source source = Source::DeviceTree;
    std::string reason; ///< The reader's own words (empty for the recorded mount table).
};

/// Builds the platform `choice` names. A recorded mount table replaces the live one; its
/// devices need not be this system's, so they are found in the device tree by name alone and
/// named after their mount points. Returns nullopt with `error` set when the snapshot, the
/// device tree or the recorded mount table cannot be read.
std::optional<Platform> selectPlatform(const PlatformChoice& choice, PlatformSelectionError& error);

} // namespace quaylet
