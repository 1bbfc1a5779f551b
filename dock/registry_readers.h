// Typed readers of registry properties, and the operating-system version test.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/property_value.h"
#include "platform/registry.h"

namespace quaylet {

/// Returns a number's value, or 4 data bytes read as a little-endian signed 32-bit integer;
/// 0 for no value, any other kind, or data of another length.
std::int64_t readRegistryNumber(const std::optional<PropertyValue>& value);

/// Returns the low 32 bits of `entry`'s number property `key`; 0 when absent or not a number.
std::uint32_t readRegistryUInt32(Registry& registry, RegistryHandle entry, std::string_view key);

/// Returns whether the registry's system is version 10.`minor`.0 or later.
bool isOperatingSystemAtLeast(const Registry& registry, std::int32_t minor);

/// Returns whether the registry's system is version `version` or later.
bool isOperatingSystemAtLeastVersion(const Registry& registry, OperatingSystemVersion version);

} // namespace quaylet
