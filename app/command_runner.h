// runShellCommand and openSecurityPreferences: running a tool and collecting its output.
#pragma once

#include <string>
#include <vector>

namespace quaylet {

/// Starts `argv[0]` (searched on PATH when it has no slash) with `argv`, without a shell, and
/// returns everything it wrote to standard output, zero bytes included. Blocks until the
/// output ends and the tool has exited. Returns an empty string when `argv` is empty or the
/// tool cannot be started. SIGPIPE and SIGCHLD are back at their defaults in the tool, and the
/// wait works whether or not this process ignores SIGCHLD.
std::string runShellCommand(const std::vector<std::string>& argv);

/// Runs `command`, the desktop's command that opens its privacy settings; returns true when
/// it printed nothing, false otherwise (also when `command` is empty).
bool openSecurityPreferences(const std::vector<std::string>& command);

} // namespace quaylet
