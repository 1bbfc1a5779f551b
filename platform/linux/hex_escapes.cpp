// Decoding of the \xNN escapes that udev and systemd put in names.
#include "platform/linux/hex_escapes.h"

#include "platform/hex_digit.h"

namespace quaylet {

std::string decodeHexEscapes(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t index = 0; index < text.size(); ++index) {
        if (text.substr(index, 2) == "\\x" && index + 3 < text.size()) {
            const int high = hexDigitValue(text[index + 2]);
            const int low = hexDigitValue(text[index + 3]);
            if (high >= 0 && low >= 0) {
                decoded += static_cast<char>(high * 16 + low);
                index += 3;
                continue;
            }
        }
        decoded += text[index];
    }
    return decoded;
}

} // namespace quaylet
