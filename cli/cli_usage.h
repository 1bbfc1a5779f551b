// The usage texts of quaylet-cli and its commands.
#pragma once

#include <string_view>

#include "cli/cli_options.h"

namespace quaylet {

/// Returns the usage text of `command`; the program's overview for None.
std::string_view usageText(CliCommand command);

} // namespace quaylet
