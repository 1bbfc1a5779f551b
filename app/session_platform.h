// makeSessionPlatform: the platform services of the session the tray application runs in.
#pragma once

#include <memory>

#include "platform/platform.h"

namespace quaylet {

/// Builds the platform of this session: the live Linux system, or the snapshot machine that
/// QUAYLET_SNAPSHOT names. Returns null when neither can be set up.
std::unique_ptr<Platform> makeSessionPlatform();

} // namespace quaylet
