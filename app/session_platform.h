// makeSessionPlatform: the platform services of the session the tray application runs in.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace quaylet {

/// Builds the platform of this session: the machine of the snapshot file at `snapshotPath`
/// when one is given, else the live Linux system with quaylet-diskutil next to the program.
/// Returns null with `error` set to one line for a person when it cannot be set up.
std::unique_ptr<Platform> makeSessionPlatform(const std::optional<std::string>& snapshotPath,
                                              std::string& error);

} // namespace quaylet
