// StringTable: texts from a JSON object, with one-pass place-marker formatting.
#include "platform/string_table.h"

#include <nlohmann/json.hpp>

#include "platform/embedded_strings.h"

namespace quaylet {

std::string formatText(std::string_view format, const std::vector<std::string>& arguments) {
    std::string result;
    result.reserve(format.size());
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char next = i + 1 < format.size() ? format[i + 1] : '\0';
        if (format[i] != '%') {
            result += format[i];
        } else if (next == '%') {
            result += '%';
            ++i;
        } else if (next >= '1' && next <= '9' &&
                   static_cast<std::size_t>(next - '0') <= arguments.size()) {
            result += arguments[static_cast<std::size_t>(next - '1')];
            ++i;
        } else {
            result += '%';
        }
    }
    return result;
}

std::optional<StringTable> StringTable::fromJson(std::string_view json) {
    const nlohmann::json document = nlohmann::json::parse(json, nullptr, false);
    if (!document.is_object()) {
        return std::nullopt;
    }
    StringTable table;
    for (const auto& [key, value] : document.items()) {
        if (value.is_string()) {
            table.texts_.emplace(key, value.get<std::string>());
        }
    }
    return table;
}

const StringTable& StringTable::builtIn() {
    static const StringTable table = [] {
        StringTable texts;
        for (const EmbeddedText& entry : embeddedStrings()) {
            texts.texts_.emplace(entry.key, entry.text);
        }
        return texts;
    }();
    return table;
}

StringTable StringTable::translated(
    const std::function<std::optional<std::string>(std::string_view key)>& translate) const {
    StringTable table = *this;
    for (auto& [key, text] : table.texts_) {
        if (std::optional<std::string> translation = translate(key)) {
            text = std::move(*translation);
        }
    }
    return table;
}

std::string StringTable::text(std::string_view key) const {
    const auto found = texts_.find(key);
    return found == texts_.end() ? std::string(key) : found->second;
}

std::string StringTable::format(std::string_view key,
                                const std::vector<std::string>& arguments) const {
    return formatText(text(key), arguments);
}

} // namespace quaylet
