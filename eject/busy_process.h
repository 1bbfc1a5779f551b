// BusyProcess: a process that keeps files open on a volume that stayed mounted.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quaylet {

/// One process with files open on the searched volumes.
struct BusyProcess {
    std::int32_t pid = 0;               ///< Process id as the open-files tool reported it.
    std::string name;                   ///< Display name; never empty.
    std::vector<std::string> openPaths; ///< Paths reported for it, except "/"; never empty.

    friend bool operator==(const BusyProcess&, const BusyProcess&) = default;
};

} // namespace quaylet
