// The version of the Quaylet programs, as the build gives it.
#pragma once

#include <string_view>

namespace quaylet {

/// Returns the version of this build ("0.1.0"), for the programs' --version.
std::string_view programVersion();

} // namespace quaylet
