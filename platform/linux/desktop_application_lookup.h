// DesktopApplicationLookup: names a process after the desktop application it belongs to.
#pragma once

#include <string>
#include <vector>

#include <sys/stat.h>

#include "platform/application_lookup.h"

namespace quaylet {

/// Where the lookup reads processes, desktop entries and programs; tests point it at fixtures.
struct DesktopApplicationRoots {
    std::string procDir = "/proc";            ///< The process file system.
    std::vector<std::string> applicationDirs; ///< "applications" folders, strongest first.
    std::vector<std::string> executableDirs;  ///< Folders searched for bare program names.
    std::string locale;                       ///< Language of the names ("de_DE.UTF-8").

    /// Returns the roots of this session: $XDG_DATA_HOME and $XDG_DATA_DIRS (with their
    /// defaults), $PATH, and the locale of LC_ALL, LC_MESSAGES or LANG.
    static DesktopApplicationRoots fromEnvironment();
};

/// Finds a process's desktop application by the application id of its systemd user scope
/// (app-[launcher-]ID-N.scope or app-[launcher-]ID[@N].service), else by its executable
/// matching a desktop entry's TryExec or Exec program, and answers with the entry's Name.
class DesktopApplicationLookup : public ApplicationLookup {
public:
    /// Makes a lookup over `roots`.
    explicit DesktopApplicationLookup(DesktopApplicationRoots roots);
    /// Returns the Name of the desktop entry of process `pid`'s application, or nullopt when
    /// the process is gone, belongs to no known application, or the entry has no name.
    std::optional<std::string> applicationName(std::int32_t pid) const override;
    /// Returns the application with its desktop entry id (the entry's file name relative to
    /// its applications folder, "/" as "-", without ".desktop"); nullopt as applicationName.
    std::optional<DesktopApplication> application(std::int32_t pid) const override;

private:
    std::optional<DesktopApplication> fromScope(std::int32_t pid) const;
    std::optional<DesktopApplication> fromExecutable(std::int32_t pid) const;
    /// Whether `program` (a path, or a name looked for along the executable folders) resolves
    /// to `executable`, whose file `file` is when known.
    bool startsExecutable(const std::string& program, const std::string& executable,
                          const struct stat* file) const;

    DesktopApplicationRoots roots_;
};

} // namespace quaylet
