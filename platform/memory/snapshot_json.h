// Shared helpers of the snapshot loader: JSON pointers, integers and property values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "platform/property_value.h"

namespace quaylet::snapshot_json {

/// Where a value sits (a JSON pointer) and what is wrong there, once something is.
class Problem {
public:
    /// Records the first problem; later ones are ignored. Returns false for `return fail(...)`.
    bool fail(const std::string& pointer, const std::string& message);
    bool failed() const { return !message_.empty(); }
    /// "at <pointer>: <message>", or "<message>" at the document's root.
    const std::string& message() const { return message_; }

private:
    std::string message_;
};

/// Returns `pointer` extended by one object key, escaped as JSON pointers require.
std::string childPointer(const std::string& pointer, std::string_view key);
/// Returns `pointer` extended by one array index.
std::string childPointer(const std::string& pointer, std::size_t index);

/// Reads a JSON integer in the signed 64-bit range; nullopt (and a problem) otherwise.
std::optional<std::int64_t> readInteger(const nlohmann::json& json, const std::string& pointer,
                                        Problem& problem);

/// Reads a property value: integer, boolean, string, object (a dictionary), or one of the typed
/// forms {"$number": "0x..."}, {"$data": "hex"}, {"$data-text": "text"}. `depth` counts the
/// dictionaries around it. Returns nullopt (and a problem) when the value is none of these.
std::optional<PropertyValue> readPropertyValue(const nlohmann::json& json,
                                               const std::string& pointer, int depth,
                                               Problem& problem);

} // namespace quaylet::snapshot_json
