// Holder: one thing that keeps a volume mounted or its storage in use, and the volumes it holds.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quaylet {

/// Something that holds a volume: a process, or a use of it that no process list shows.
struct Holder {
    enum class Kind {
        Process,       ///< A process with a file, working or root directory or map on it.
        AttachedImage, ///< A loop device whose backing file lies on the volume.
        SwapFile,      ///< An active swap file on the volume.
        MountInside,   ///< Another file system mounted inside the volume.
        NfsExport,     ///< The volume, or a folder of it, exported over NFS.
    };

    Kind kind = Kind::Process;
    /// What the user knows it by: the application's or command's name, the image file, the
    /// swap file, the inner mount point or the exported folder. Never empty.
    std::string name;
    /// The path on the volume it holds: an open file, a working directory, a map, the image
    /// or swap file, the inner mount point, the exported folder.
    std::string path;
    std::int32_t pid = 0;             ///< Process id; 0 for holders that are no process.
    std::optional<std::uint32_t> uid; ///< Owner of the process, when known.
    std::string user;                 ///< Owner's user name, or the uid as digits; may be empty.
    /// The desktop entry id of the application the process belongs to (for quitting it
    /// through the desktop); empty when it is no application the desktop knows.
    std::string desktopEntry;
    /// For an attached image: the loop device, and where its file system is mounted, if
    /// anywhere ("/dev/loop3 at /media/disk"); else empty.
    std::string detail;

    friend bool operator==(const Holder&, const Holder&) = default;
};

/// Every holder found for one volume that stayed mounted or whose storage is still held.
struct VolumeHolders {
    std::string volumeName;
    std::string mountPoint;
    std::vector<Holder> holders;

    friend bool operator==(const VolumeHolders&, const VolumeHolders&) = default;
};

} // namespace quaylet
