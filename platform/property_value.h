// PropertyValue: one registry property value, a number, data, boolean, string or dictionary.
#pragma once

#include <concepts>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <variant>
#include <vector>

namespace quaylet {

class PropertyValue;

/// Bytes of a data property.
using PropertyData = std::vector<std::uint8_t>;
/// A dictionary property: string keys, values of any kind, in key order.
using PropertyDictionary = std::map<std::string, PropertyValue, std::less<>>;

/// A property value owned by whoever holds it; reading it never needs a release.
class PropertyValue {
public:
    using Storage = std::variant<std::int64_t, PropertyData, bool, std::string, PropertyDictionary>;

    PropertyValue() : storage_(std::int64_t{0}) {}
    template <std::integral Integer>
    requires(!std::same_as<Integer, bool>) PropertyValue(Integer number)
        : storage_(static_cast<std::int64_t>(number)) {}
    PropertyValue(bool flag) : storage_(flag) {}
    PropertyValue(PropertyData data) : storage_(std::move(data)) {}
    PropertyValue(std::string text) : storage_(std::move(text)) {}
    PropertyValue(const char* text) : storage_(std::string(text)) {}
    PropertyValue(PropertyDictionary dictionary) : storage_(std::move(dictionary)) {}

    /// The number, or null when the value is of another kind.
    const std::int64_t* number() const { return std::get_if<std::int64_t>(&storage_); }
    /// The bytes, or null when the value is of another kind.
    const PropertyData* data() const { return std::get_if<PropertyData>(&storage_); }
    /// The boolean, or null when the value is of another kind.
    const bool* boolean() const { return std::get_if<bool>(&storage_); }
    /// The string, or null when the value is of another kind.
    const std::string* string() const { return std::get_if<std::string>(&storage_); }
    /// The dictionary, or null when the value is of another kind.
    const PropertyDictionary* dictionary() const {
        return std::get_if<PropertyDictionary>(&storage_);
    }

    const Storage& storage() const { return storage_; }

    friend bool operator==(const PropertyValue& a, const PropertyValue& b) {
        return a.storage_ == b.storage_;
    }

private:
    Storage storage_;
};

} // namespace quaylet
