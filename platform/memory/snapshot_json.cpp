// Snapshot property values and integers read from JSON, with the place of any fault.
#include "platform/memory/snapshot_json.h"

#include <charconv>
#include <limits>

namespace quaylet::snapshot_json {
namespace {

constexpr int kMaxDictionaryDepth = 32;

int hexDigit(char c) {
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

// Parses "123", "-5", "0x1A320000" or "-0x10" into a signed 64-bit number.
std::optional<std::int64_t> parseNumberText(std::string_view text) {
    const bool negative = !text.empty() && text.front() == '-';
    if (negative) {
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    std::uint64_t magnitude = 0;
    const auto [end, status] =
        std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (text.empty() || status != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (!negative && magnitude <= kMax) {
        return static_cast<std::int64_t>(magnitude);
    }
    if (negative && magnitude <= kMax + 1) {
        return static_cast<std::int64_t>(0 - magnitude);
    }
    return std::nullopt;
}

std::optional<PropertyData> parseHex(std::string_view text) {
    PropertyData bytes;
    int high = -1;
    for (const char c : text) {
        if (c == ' ' || c == '\n' || c == '\t') {
            continue;
        }
        const int digit = hexDigit(c);
        if (digit < 0) {
            return std::nullopt;
        }
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high * 16 + digit));
            high = -1;
        }
    }
    if (high >= 0) {
        return std::nullopt;
    }
    return bytes;
}

std::optional<PropertyValue> readTypedValue(const std::string& key, const nlohmann::json& value,
                                            const std::string& pointer, Problem& problem) {
    const std::string at = childPointer(pointer, key);
    if (key == "$number" && value.is_number_integer()) {
        return readInteger(value, at, problem);
    }
    if (!value.is_string()) {
        problem.fail(at, "expected a string");
        return std::nullopt;
    }
    const auto& text = value.get_ref<const std::string&>();
    if (key == "$number") {
        if (const auto number = parseNumberText(text)) {
            return PropertyValue(*number);
        }
        problem.fail(at, "expected a signed 64-bit number such as \"0x1A320000\" or \"-1\"");
    } else if (key == "$data") {
        if (auto bytes = parseHex(text)) {
            return PropertyValue(std::move(*bytes));
        }
        problem.fail(at, "expected bytes as pairs of hexadecimal digits");
    } else if (key == "$data-text") {
        return PropertyValue(PropertyData(text.begin(), text.end()));
    } else {
        problem.fail(at, "unknown typed value (use $number, $data or $data-text)");
    }
    return std::nullopt;
}

std::optional<PropertyValue> readDictionary(const nlohmann::json& json, const std::string& pointer,
                                            int depth, Problem& problem) {
    if (depth >= kMaxDictionaryDepth) {
        problem.fail(pointer, "dictionaries nested too deep");
        return std::nullopt;
    }
    PropertyDictionary dictionary;
    for (const auto& [key, value] : json.items()) {
        auto read = readPropertyValue(value, childPointer(pointer, key), depth + 1, problem);
        if (!read) {
            return std::nullopt;
        }
        dictionary.insert_or_assign(key, std::move(*read));
    }
    return std::optional<PropertyValue>(std::in_place, std::move(dictionary));
}

} // namespace

bool Problem::fail(const std::string& pointer, const std::string& message) {
    if (message_.empty()) {
        message_ = pointer.empty() ? message : "at " + pointer + ": " + message;
    }
    return false;
}

std::string childPointer(const std::string& pointer, std::string_view key) {
    std::string result = pointer + "/";
    for (const char c : key) {
        if (c == '~') {
            result += "~0";
        } else if (c == '/') {
            result += "~1";
        } else {
            result += c;
        }
    }
    return result;
}

std::string childPointer(const std::string& pointer, std::size_t index) {
    return pointer + "/" + std::to_string(index);
}

std::optional<std::int64_t> readInteger(const nlohmann::json& json, const std::string& pointer,
                                        Problem& problem) {
    if (json.is_number_unsigned()) {
        const auto value = json.get<std::uint64_t>();
        if (value <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return static_cast<std::int64_t>(value);
        }
    } else if (json.is_number_integer()) {
        return json.get<std::int64_t>();
    }
    problem.fail(pointer, "expected an integer in the signed 64-bit range");
    return std::nullopt;
}

std::optional<PropertyValue> readPropertyValue(const nlohmann::json& json,
                                               const std::string& pointer, int depth,
                                               Problem& problem) {
    if (json.is_boolean()) {
        return PropertyValue(json.get<bool>());
    }
    if (json.is_number()) {
        if (auto number = readInteger(json, pointer, problem)) {
            return PropertyValue(*number);
        }
        return std::nullopt;
    }
    if (json.is_string()) {
        return PropertyValue(json.get<std::string>());
    }
    if (json.is_object()) {
        if (json.size() == 1 && json.begin().key().starts_with("$")) {
            return readTypedValue(json.begin().key(), json.begin().value(), pointer, problem);
        }
        return readDictionary(json, pointer, depth, problem);
    }
    problem.fail(pointer, "expected a number, boolean, string, dictionary or typed value");
    return std::nullopt;
}

} // namespace quaylet::snapshot_json
