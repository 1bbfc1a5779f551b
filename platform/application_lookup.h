// ApplicationLookup: the desktop application a process belongs to.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace quaylet {

/// A desktop application as its desktop entry gives it.
struct DesktopApplication {
    std::string name;         ///< The entry's user-facing name.
    std::string desktopEntry; ///< The entry's id ("org.gnome.Nautilus"); empty when unknown.
};

/// Names running desktop applications.
class ApplicationLookup {
public:
    virtual ~ApplicationLookup() = default;
    /// Returns the user-facing name of the application process `pid` belongs to, or nullopt
    /// when it is no application the desktop knows.
    virtual std::optional<std::string> applicationName(std::int32_t pid) const = 0;
    /// Returns the application process `pid` belongs to, with its desktop entry id where the
    /// lookup knows it; nullopt when it is no application the desktop knows.
    virtual std::optional<DesktopApplication> application(std::int32_t pid) const {
        std::optional<std::string> name = applicationName(pid);
        if (!name) {
            return std::nullopt;
        }
        return DesktopApplication{std::move(*name), {}};
    }
};

} // namespace quaylet
