// BsdDeviceNaming: device paths named the macOS way (/dev/disk4s1), as snapshots use them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/device_naming.h"

namespace quaylet {

/// Returns the whole disk's BSD name of a device path: without a leading "/dev/", "disk" and
/// one to four digits, followed by the end or "s" ("/dev/disk4s1" gives "disk4"). Returns
/// nullopt for any other form, such as a disk number of five or more digits.
std::optional<std::string> bsdWholeDiskName(std::string_view devicePath);

/// Returns the volume's own BSD name: the path without a leading "/dev/", when that begins
/// with "disk" and is at most 63 bytes long. Returns nullopt otherwise.
std::optional<std::string> bsdVolumeName(std::string_view devicePath);

/// Looks BSD names up in the registry as the published services of those names.
class BsdDeviceNaming final : public DeviceNaming {
public:
    RegistryHandle wholeDiskService(Registry& registry, std::string_view devicePath) const override;
    RegistryHandle volumeService(Registry& registry, std::string_view devicePath) const override;
};

} // namespace quaylet
