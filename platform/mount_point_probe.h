// MountPointProbe: whether a volume is still mounted at a mount point.
#pragma once

#include <string>

namespace quaylet {

/// Judges whether a volume is still mounted at a path, the way the platform can tell: on Linux
/// by the mount table (the directory usually stays), on macOS by the directory's existence.
class MountPointProbe {
public:
    virtual ~MountPointProbe() = default;
    /// Returns whether `mountPoint` still holds a mounted volume; false when it cannot be read.
    virtual bool isMounted(const std::string& mountPoint) const = 0;
};

} // namespace quaylet
