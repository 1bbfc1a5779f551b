// Autostart entries: reading the program a desktop entry starts, and writing one for Quaylet.
#pragma once

#include <optional>

#include <QString>

namespace quaylet {

/// What the login items list reads of one desktop entry.
struct AutostartEntry {
    /// The program the entry starts: the first word of its Exec line, unquoted, with "%%"
    /// read as "%".
    QString program;
    /// False when the entry is switched off: marked Hidden, or X-GNOME-Autostart-enabled=false
    /// (as GNOME's settings leave it).
    bool enabled = true;
};

/// Reads the desktop entry at `path`; nullopt when the file cannot be read or has no Exec line.
std::optional<AutostartEntry> readAutostartEntry(const QString& path);

/// Returns `argument` quoted for an Exec line: "%" doubled, and the whole argument put in
/// double quotes (with ", `, $ and \ escaped) when it holds a reserved character.
QString quoteExecArgument(const QString& argument);

/// Writes a desktop entry at `path` that starts `executable` when the user logs in (TryExec
/// names it too, so that the entry is passed over once the program is gone); returns whether
/// it was written.
bool writeAutostartEntry(const QString& path, const QString& executable);

} // namespace quaylet
