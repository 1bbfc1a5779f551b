// Diagnostic text of registry property tables: numbers in decimal and hex, data in hex.
#include "dock/property_dump.h"

#include <cstdio>
#include <variant>

namespace quaylet {
namespace {

void describeValue(const PropertyValue& value, int depth, std::string& out);

std::string hexNumber(std::int64_t number) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(number));
    return text;
}

void describeDictionary(const PropertyDictionary& dictionary, int depth, std::string& out) {
    out += "{\n";
    for (const auto& [key, value] : dictionary) {
        out.append(static_cast<std::size_t>(depth + 1) * 2, ' ');
        out += '"' + key + "\" = ";
        describeValue(value, depth + 1, out);
        out += '\n';
    }
    out.append(static_cast<std::size_t>(depth) * 2, ' ');
    out += '}';
}

void describeValue(const PropertyValue& value, int depth, std::string& out) {
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::int64_t>) {
                out += std::to_string(v) + " (" + hexNumber(v) + ")";
            } else if constexpr (std::is_same_v<T, bool>) {
                out += v ? "Yes" : "No";
            } else if constexpr (std::is_same_v<T, std::string>) {
                out += '"' + v + '"';
            } else if constexpr (std::is_same_v<T, PropertyData>) {
                out += '<';
                char byte[4];
                for (const std::uint8_t b : v) {
                    std::snprintf(byte, sizeof byte, "%02x", b);
                    out += byte;
                }
                out += '>';
            } else {
                describeDictionary(v, depth, out);
            }
        },
        value.storage());
}

} // namespace

std::string describeProperties(const PropertyDictionary& properties) {
    std::string out;
    describeDictionary(properties, 0, out);
    out += '\n';
    return out;
}

} // namespace quaylet
