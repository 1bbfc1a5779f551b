// runQuayletCli: the whole quaylet-cli program behind its command line.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace quaylet {

/// Runs quaylet-cli with `arguments` (those after the program name), writing its output to
/// `out` and its progress and errors to `errors`. Returns the exit status: kExitSafe,
/// kExitUnsafe or kExitUsage (cli/cli_options.h).
int runQuayletCli(const std::vector<std::string>& arguments, std::ostream& out,
                  std::ostream& errors);

} // namespace quaylet
