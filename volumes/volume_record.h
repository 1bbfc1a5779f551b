// VolumeRecord: one mounted volume, as the scan plans it and the unmount worker uses it.
#pragma once

#include <cstdint>
#include <string>

namespace quaylet {

/// One mounted volume. All fields are byte strings in the file system's encoding.
struct VolumeRecord {
    std::string devicePath;  ///< Source of the mount exactly as the mount table gives it.
    std::string mountPoint;  ///< Directory the volume is mounted on; "/" for the boot volume.
    std::string displayName; ///< Name under which the user knows the volume.
    std::string imagePath;   ///< Image file backing a mounted disk image; empty otherwise.
    /// The planned device: the mounted file system's device number as the mount table gives
    /// it, so that another file system met later at the same mount point is not taken for it;
    /// 0 where the platform's table gives none.
    std::uint64_t deviceNumber = 0;

    friend bool operator==(const VolumeRecord&, const VolumeRecord&) = default;
};

} // namespace quaylet
