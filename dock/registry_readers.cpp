// The typed property readers and the operating-system version tests.
#include "dock/registry_readers.h"

namespace quaylet {

std::int64_t readRegistryNumber(const std::optional<PropertyValue>& value) {
    if (!value) {
        return 0;
    }
    if (const std::int64_t* number = value->number()) {
        return *number;
    }
    if (const PropertyData* data = value->data(); data != nullptr && data->size() == 4) {
        const auto bits = static_cast<std::uint32_t>((*data)[0]) |
                          static_cast<std::uint32_t>((*data)[1]) << 8 |
                          static_cast<std::uint32_t>((*data)[2]) << 16 |
                          static_cast<std::uint32_t>((*data)[3]) << 24;
        return static_cast<std::int32_t>(bits);
    }
    return 0;
}

std::uint32_t readRegistryUInt32(Registry& registry, RegistryHandle entry, std::string_view key) {
    const auto value = registry.property(entry, key);
    if (!value) {
        return 0;
    }
    const std::int64_t* number = value->number();
    return number == nullptr ? 0 : static_cast<std::uint32_t>(*number);
}

bool isOperatingSystemAtLeast(const Registry& registry, std::int32_t minor) {
    return isOperatingSystemAtLeastVersion(registry, {10, minor, 0});
}

bool isOperatingSystemAtLeastVersion(const Registry& registry, OperatingSystemVersion version) {
    return registry.operatingSystemVersion() >= version;
}

} // namespace quaylet
