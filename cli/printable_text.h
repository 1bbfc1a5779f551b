// Text safe for one line of a terminal: control characters (and, in paths, backslashes) escaped.
#pragma once

#include <string>
#include <string_view>

namespace quaylet {

/// Returns `path` with control characters, DEL and backslashes written as octal escapes
/// (\012, \177, \134), so that any path prints on one line and reads back unambiguously.
std::string printablePath(std::string_view path);

/// Returns `text` with control characters and DEL written as octal escapes; every other byte
/// (backslashes and UTF-8 included) unchanged.
std::string printableText(std::string_view text);

} // namespace quaylet
