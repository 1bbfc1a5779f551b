// Device numbers as text: the "MAJ:MIN" form of the mount table, sysfs and the disk tool.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quaylet {

/// Returns `device` as its major and minor number in decimal, joined by a colon ("8:17").
std::string deviceNumberText(std::uint64_t device);

/// Returns the device number written as "MAJ:MIN" in decimal; nullopt for anything else.
std::optional<std::uint64_t> parseDeviceNumber(std::string_view text);

} // namespace quaylet
