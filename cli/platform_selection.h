// selectPlatform: the platform a quaylet-cli command line asks for.
#pragma once

#include <optional>
#include <string>

#include "cli/cli_options.h"
#include "platform/platform.h"

namespace quaylet {

/// Builds the platform `options` ask for: the snapshot machine of --snapshot, else the live
/// system over the device tree of --sysfs (default /sys), its mount table replaced by the file
/// of --mountinfo when given. Returns nullopt with `error` saying what could not be read and
/// what to do.
std::optional<Platform> selectPlatform(const CliOptions& options, std::string& error);

} // namespace quaylet
