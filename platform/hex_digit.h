// The value of one hexadecimal digit, shared by the readers of escaped and numeric text.
#pragma once

namespace quaylet {

/// Returns the value of hexadecimal digit `c` (either case), or -1 when it is none.
constexpr int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace quaylet
