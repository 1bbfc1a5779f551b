// Where the front ends find quaylet-diskutil: next to their own executable in a build tree, in
// the private program folder of the installed package otherwise.
#pragma once

#include <string>

namespace quaylet {

/// The disk tool's program name.
inline constexpr const char* kDiskutilName = "quaylet-diskutil";

/// Returns the path of quaylet-diskutil: the one in the folder of the running executable when
/// it is there (a build tree), else PREFIX/libexec/quaylet/quaylet-diskutil beside the
/// executable's PREFIX/bin; the bare program name (looked up in PATH when started) when the
/// executable's folder cannot be read.
std::string defaultDiskutilPath();

} // namespace quaylet
