// MountPointProbe: whether a volume is still mounted at a mount point.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/mount_table.h"

namespace quaylet {

/// Tells whether a mount table has changed.
class MountTableChanges {
public:
    virtual ~MountTableChanges() = default;
    /// Returns whether the table may have changed since the last call, or at the first call
    /// since the watch began; true when it cannot tell.
    virtual bool changedSinceLastAsked() = 0;
};

/// Judges whether a volume is still mounted at a path, the way the platform can tell: on Linux
/// by the mount table (the directory usually stays), on macOS by the directory's existence.
class MountPointProbe {
public:
    virtual ~MountPointProbe() = default;
    /// Returns whether `mountPoint` still holds the volume of the planned device `deviceNumber`
    /// (a volume record's; any volume when 0), also while another mount covers it. Another
    /// file system at the same path, or an automount trigger left there, does not count. False
    /// when it cannot be told.
    virtual bool isMounted(const std::string& mountPoint, std::uint64_t deviceNumber) const = 0;
    /// Returns a probe that answers every question from one read of the table, taken now, so
    /// that the questions about several volumes at one moment cost one read; null when this
    /// probe reads nothing worth keeping (ask it instead).
    virtual std::shared_ptr<const MountPointProbe> snapshot() const { return nullptr; }
    /// Returns a probe that answers from `entries`, a read of the table this probe reads that
    /// the caller made just before; null when this probe does not judge by the table.
    virtual std::shared_ptr<const MountPointProbe>
    readingOf(std::vector<MountEntry> /*entries*/) const {
        return nullptr;
    }
    /// The read of the table this probe answers from, when it keeps one; null otherwise.
    virtual const std::vector<MountEntry>* keptEntries() const { return nullptr; }
    /// Asks the mount point itself, without reading the table: true when the volume of the
    /// planned device `deviceNumber` is the uppermost mount at `mountPoint`, false when no mount
    /// is rooted there at all; nullopt when the path cannot tell for certain or this probe does
    /// not ask paths. A false after a true says that the volume went away; a false alone may be
    /// a volume hidden by a mount over a parent directory, which only the table shows.
    virtual std::optional<bool> askMountPoint(const std::string& /*mountPoint*/,
                                              std::uint64_t /*deviceNumber*/) const {
        return std::nullopt;
    }
    /// Starts a watch on the table this probe reads; null when its changes cannot be told.
    virtual std::unique_ptr<MountTableChanges> watchChanges() const { return nullptr; }
};

} // namespace quaylet
