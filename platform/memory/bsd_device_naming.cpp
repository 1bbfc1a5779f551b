// BSD device names: from a mount table's device path to the whole disk and the volume.
#include "platform/memory/bsd_device_naming.h"

namespace quaylet {
namespace {

constexpr std::string_view kDevPrefix = "/dev/";
constexpr std::string_view kDiskPrefix = "disk";
constexpr std::size_t kMaxDiskDigits = 4;
constexpr std::size_t kMaxVolumeNameLength = 63;

// The name part of a device path: read up to its first zero byte, as a C string would be,
// without a leading "/dev/".
std::string_view bsdPart(std::string_view devicePath) {
    devicePath = devicePath.substr(0, devicePath.find('\0'));
    if (devicePath.starts_with(kDevPrefix)) {
        devicePath.remove_prefix(kDevPrefix.size());
    }
    return devicePath;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

std::optional<std::string> bsdWholeDiskName(std::string_view devicePath) {
    const std::string_view name = bsdPart(devicePath);
    if (!name.starts_with(kDiskPrefix) || name.size() == kDiskPrefix.size() ||
        !isDigit(name[kDiskPrefix.size()])) {
        return std::nullopt;
    }
    std::size_t end = kDiskPrefix.size();
    while (end < name.size() && end - kDiskPrefix.size() < kMaxDiskDigits && isDigit(name[end])) {
        ++end;
    }
    if (end != name.size() && name[end] != 's') {
        return std::nullopt;
    }
    return std::string(name.substr(0, end));
}

std::optional<std::string> bsdVolumeName(std::string_view devicePath) {
    const std::string_view name = bsdPart(devicePath);
    if (!name.starts_with(kDiskPrefix) || name.size() > kMaxVolumeNameLength) {
        return std::nullopt;
    }
    return std::string(name);
}

RegistryHandle BsdDeviceNaming::wholeDiskService(Registry& registry,
                                                 std::string_view devicePath) const {
    const auto name = bsdWholeDiskName(devicePath);
    return name ? registry.serviceForBsdName(*name) : kNoRegistryObject;
}

RegistryHandle BsdDeviceNaming::volumeService(Registry& registry,
                                              std::string_view devicePath) const {
    const auto name = bsdVolumeName(devicePath);
    return name ? registry.serviceForBsdName(*name) : kNoRegistryObject;
}

} // namespace quaylet
