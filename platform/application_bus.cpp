// The names by which a desktop application is reached on the session bus.
#include "platform/application_bus.h"

#include <algorithm>
#include <string_view>

namespace quaylet {
namespace {

/// Whether `element` is one element of a well-known bus name: letters, digits, "_" and "-",
/// not empty and not starting with a digit.
bool validElement(std::string_view element) {
    if (element.empty() || (element.front() >= '0' && element.front() <= '9')) {
        return false;
    }
    return std::all_of(element.begin(), element.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_' || c == '-';
    });
}

} // namespace

std::string applicationBusName(const std::string& desktopEntry) {
    constexpr std::string_view kSuffix = ".desktop";
    std::string_view name = desktopEntry;
    if (name.ends_with(kSuffix)) {
        name.remove_suffix(kSuffix.size());
    }
    if (name.size() > 255) {
        return {};
    }
    std::size_t dots = 0;
    for (std::size_t start = 0;; ++dots) {
        const std::size_t dot = name.find('.', start);
        if (!validElement(name.substr(start, dot - start))) {
            return {};
        }
        if (dot == std::string_view::npos) {
            break;
        }
        start = dot + 1;
    }
    // A bus name has two elements at least; an entry id without a dot is no bus name.
    return dots >= 1 ? std::string(name) : std::string();
}

std::string applicationObjectPath(const std::string& busName) {
    std::string path = "/" + busName;
    std::replace(path.begin(), path.end(), '.', '/');
    std::replace(path.begin(), path.end(), '-', '_');
    return path;
}

} // namespace quaylet
