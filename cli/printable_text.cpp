// Octal escapes for the bytes a terminal line must not carry raw.
#include "cli/printable_text.h"

#include <cstdio>

namespace quaylet {
namespace {

bool isControl(unsigned char byte) {
    return byte < 0x20 || byte == 0x7f;
}

std::string escaped(std::string_view text, bool escapeBackslash) {
    std::string result;
    result.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (isControl(byte) || (escapeBackslash && c == '\\')) {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\%03o", byte);
            result += escape;
        } else {
            result += c;
        }
    }
    return result;
}

} // namespace

std::string printablePath(std::string_view path) {
    return escaped(path, true);
}

std::string printableText(std::string_view text) {
    return escaped(text, false);
}

} // namespace quaylet
