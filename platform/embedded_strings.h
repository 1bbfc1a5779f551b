// The user-visible texts built into the programs at build time.
#pragma once

#include <string_view>

namespace quaylet {

/// Returns the bytes of resources/strings/en.json as they were when the program was built.
std::string_view embeddedStringsJson();

} // namespace quaylet
