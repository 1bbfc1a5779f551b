// The user-visible texts built into the programs at build time.
#pragma once

#include <span>
#include <string_view>

namespace quaylet {

/// One text and the key it is looked up by.
struct EmbeddedText {
    std::string_view key;
    std::string_view text;
};

/// Returns the texts of resources/strings/en.json as they were when the program was built,
/// ordered by key.
std::span<const EmbeddedText> embeddedStrings();

} // namespace quaylet
