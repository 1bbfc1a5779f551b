// A path with its symbolic links, "." and ".." resolved, as the kernel sees it.
#pragma once

#include <optional>
#include <string>

namespace quaylet {

/// Returns the canonical form of `path` (realpath), or nullopt when it cannot be resolved.
std::optional<std::string> canonicalPath(const std::string& path);

} // namespace quaylet
