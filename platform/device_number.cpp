// Device numbers as text: the "MAJ:MIN" form of the mount table, sysfs and the disk tool.
#include "platform/device_number.h"

#include <charconv>

#include <sys/sysmacros.h>

namespace quaylet {
namespace {

/// Reads a whole decimal number of `text`; nullopt when anything else is there.
std::optional<unsigned> decimal(std::string_view text) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::string deviceNumberText(std::uint64_t device) {
    return std::to_string(major(device)) + ":" + std::to_string(minor(device));
}

std::optional<std::uint64_t> parseDeviceNumber(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    const auto majorNumber = decimal(text.substr(0, colon));
    const auto minorNumber = decimal(text.substr(colon + 1));
    if (!majorNumber || !minorNumber) {
        return std::nullopt;
    }
    return makedev(*majorNumber, *minorNumber);
}

} // namespace quaylet
