// securitySettingsCommand: the command that opens the desktop's privacy settings.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <QString>

namespace quaylet {

/// Tells whether a program of that name is installed (found on PATH).
using ProgramLookup = std::function<bool(const QString& program)>;

/// Returns the command opening the privacy settings of the desktop named in `currentDesktop`
/// (the XDG_CURRENT_DESKTOP list, such as "ubuntu:GNOME"), preferring that desktop's own
/// settings program; any other installed one serves otherwise. Returns nullopt when no known
/// settings program is installed.
std::optional<std::vector<std::string>> securitySettingsCommand(const QString& currentDesktop,
                                                                const ProgramLookup& isInstalled);

/// Returns the command for this session (XDG_CURRENT_DESKTOP, programs on PATH), or nullopt.
std::optional<std::vector<std::string>> sessionSecuritySettingsCommand();

} // namespace quaylet
