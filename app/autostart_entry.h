// Autostart entries: reading the program a desktop entry starts, and writing one for Quaylet.
#pragma once

#include <optional>

#include <QString>

namespace quaylet {

/// Returns the program that the desktop entry at `path` starts: the first word of its Exec
/// line, unquoted, with "%%" read as "%". Returns nullopt when the file cannot be read, has no
/// Exec line, or is marked Hidden (an autostart entry switched off).
std::optional<QString> autostartEntryProgram(const QString& path);

/// Returns `argument` quoted for an Exec line: "%" doubled, and the whole argument put in
/// double quotes (with ", `, $ and \ escaped) when it holds a reserved character.
QString quoteExecArgument(const QString& argument);

/// Writes a desktop entry at `path` that starts `executable` when the user logs in; returns
/// whether it was written.
bool writeAutostartEntry(const QString& path, const QString& executable);

} // namespace quaylet
