// Decoding of the \xNN escapes that udev and systemd put in names.
#pragma once

#include <string>
#include <string_view>

namespace quaylet {

/// Returns `text` with every \xNN (two hexadecimal digits) replaced by the byte it names; a
/// backslash not followed by a complete escape stays as it is.
std::string decodeHexEscapes(std::string_view text);

} // namespace quaylet
