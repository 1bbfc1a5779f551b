// ApplicationLookup: the desktop application a process belongs to.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quaylet {

/// Names running desktop applications.
class ApplicationLookup {
public:
    virtual ~ApplicationLookup() = default;
    /// Returns the user-facing name of the application process `pid` belongs to, or nullopt
    /// when it is no application the desktop knows.
    virtual std::optional<std::string> applicationName(std::int32_t pid) const = 0;
};

} // namespace quaylet
