// DesktopEntry: the keys of a desktop entry file that name and start an application.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quaylet {

/// The [Desktop Entry] group of one .desktop file, as far as naming an application needs it.
struct DesktopEntry {
    std::string type;    ///< Type ("Application", "Link", ...); may be empty.
    std::string name;    ///< Name, in the best matching language; may be empty.
    std::string exec;    ///< Exec command line, string escapes undone; may be empty.
    std::string tryExec; ///< TryExec program; may be empty.
    bool hidden = false; ///< Hidden=true: the entry counts as deleted.

    /// Reads the file at `path`, choosing Name for `locale` (as in "de_CH.UTF-8@euro"; empty for
    /// the untranslated name); nullopt when unreadable or without a [Desktop Entry] group.
    static std::optional<DesktopEntry> read(const std::string& path, std::string_view locale);
};

/// Returns the program an Exec command line starts: its first argument with the quoting
/// undone; empty when there is none.
std::string execProgram(std::string_view exec);

} // namespace quaylet
