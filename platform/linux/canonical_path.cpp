// A path with its symbolic links, "." and ".." resolved, as the kernel sees it.
#include "platform/linux/canonical_path.h"

#include <cstdlib>
#include <memory>

namespace quaylet {

std::optional<std::string> canonicalPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                         &std::free);
    if (!resolved) {
        return std::nullopt;
    }
    return std::string(resolved.get());
}

} // namespace quaylet
