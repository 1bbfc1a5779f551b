// FileManager: the names under which the desktop shows paths.
#pragma once

#include <optional>
#include <string>

namespace quaylet {

/// The desktop's file manager, as far as naming volumes goes.
class FileManager {
public:
    virtual ~FileManager() = default;
    /// Returns the name under which the file manager shows `path`, or nullopt when it has none.
    virtual std::optional<std::string> displayName(const std::string& path) const = 0;
};

} // namespace quaylet
