// Where the front ends find quaylet-diskutil: next to their own executable.
#pragma once

#include <string>

namespace quaylet {

/// The disk tool's program name.
inline constexpr const char* kDiskutilName = "quaylet-diskutil";

/// Returns the path of quaylet-diskutil in the folder of the running executable; the bare
/// program name (looked up in PATH when started) when that folder cannot be read.
std::string defaultDiskutilPath();

} // namespace quaylet
