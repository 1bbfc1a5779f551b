// StringTable: the user-visible texts looked up by key, and their place markers filled in.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quaylet {

/// Returns `format` with each place marker %1 to %9 replaced by that argument, in one pass, so
/// that a "%" or "%1" inside an argument stays text. "%%" gives "%"; a marker without its
/// argument, and any other "%", stay as they are.
std::string formatText(std::string_view format, const std::vector<std::string>& arguments);

/// A table of texts by key, read from a JSON object of strings.
class StringTable {
public:
    /// Reads `json`, an object whose string members are the texts (other members are
    /// skipped); nullopt when it is no JSON object.
    static std::optional<StringTable> fromJson(std::string_view json);
    /// Returns the texts built into the program; an empty table if they could not be read.
    static const StringTable& builtIn();

    /// Returns a copy whose texts are those `translate` gives for their keys; a text stays as
    /// it is where `translate` gives none (nullopt), so a missing translation reads in English.
    StringTable translated(
        const std::function<std::optional<std::string>(std::string_view key)>& translate) const;

    /// Returns the text of `key`; the key itself when the table has no such text.
    std::string text(std::string_view key) const;
    /// Returns the text of `key` with its place markers filled from `arguments`.
    std::string format(std::string_view key, const std::vector<std::string>& arguments) const;

private:
    std::map<std::string, std::string, std::less<>> texts_;
};

} // namespace quaylet
