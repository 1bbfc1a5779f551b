// The last check before an unplug is called safe: independently of the volume scan, does any
// storage at or below the dock's hardware (or, for "Unplug Everything", any external storage)
// still carry a mounted file system, active swap, or an attached disk image?
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace quaylet {

/// One thing that still holds storage that is about to be unplugged.
struct RemainingHold {
    enum class Kind { MountedVolume, Swap, AttachedImage };
    Kind kind = Kind::MountedVolume;
    std::string name; ///< The volume's display name, the swap device or file, or the image file.
    std::string path; ///< The mount point, swap path or image path it was found at.
};

/// The gate's answer.
struct ReleaseCheck {
    bool complete = true;   ///< False when a source (mount table, swap list) could not be read.
    std::string unreadable; ///< Which source could not be read, when not complete.
    std::vector<RemainingHold> holds; ///< In a stable order; the first is the one to name.

    /// Safe only when every source was read and nothing holds the storage.
    bool clear() const { return complete && holds.empty(); }
};

/// Checks the storage behind the dock (with `everything`, every external storage device).
/// With `mounts`, a read of the mount table made just before, that read is judged instead of a
/// new one.
ReleaseCheck checkRelease(Platform& platform, bool everything,
                          const std::vector<MountEntry>* mounts = nullptr);

/// Checks, in `report`, what still holds the block devices named `devices`, what is stacked
/// on them, and the images attached from their file systems. A root file system among the
/// holds (mount point "/") means the system runs from them.
ReleaseCheck checkDevicesReleased(FileManager& fileManager, const StorageUsageReport& report,
                                  const std::vector<std::string>& devices);

} // namespace quaylet
