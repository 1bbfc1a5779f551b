// LibmountMountTable and LibmountMountPointProbe: the kernel's mount table read through libmount.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/mount_point_probe.h"
#include "platform/mount_table.h"

namespace quaylet {

/// The mount table of the calling process's mount namespace.
inline constexpr const char* kMountInfoPath = "/proc/self/mountinfo";

/// Reads a mountinfo file through libmount's table parser, which decodes the escaped paths.
class LibmountMountTable : public MountTable {
public:
    /// Makes a table that reads `mountInfoPath` afresh on every call of entries().
    explicit LibmountMountTable(std::string mountInfoPath = kMountInfoPath);
    /// Returns the mounted file systems in table order; empty when the file cannot be read.
    std::vector<MountEntry> entries() const override;

private:
    std::string mountInfoPath_;
};

/// Tells whether a file system is still mounted at a path by the mount table. On Linux a mount
/// point's directory usually outlives the mount, so its mere existence says nothing.
class LibmountMountPointProbe : public MountPointProbe {
public:
    /// Makes a probe that reads `mountInfoPath` afresh on every question.
    explicit LibmountMountPointProbe(std::string mountInfoPath = kMountInfoPath);
    /// Returns whether `mountPoint`, as given or in its canonical form, is the target of a
    /// mount of device `deviceNumber` (of any device when 0), at any depth of
    /// the mounts stacked there; autofs triggers do not count. When the table cannot be read,
    /// falls back to whether the path's device differs from its parent's; false when the path
    /// cannot be read either.
    bool isMounted(const std::string& mountPoint, std::uint64_t deviceNumber) const override;
    /// Reads the table once; the probe returned judges by that read, as isMounted does.
    std::shared_ptr<const MountPointProbe> snapshot() const override;
    /// A probe that judges by `entries` as the snapshot judges by its read.
    std::shared_ptr<const MountPointProbe>
    readingOf(std::vector<MountEntry> entries) const override;
    /// Asks the path (mountedByPath) when the table is this process's own, whose mounts are the
    /// ones its paths resolve through; nullopt for any other table.
    std::optional<bool> askMountPoint(const std::string& mountPoint,
                                      std::uint64_t deviceNumber) const override;
    /// A watch by the kernel's change notice when the table is the kernel's; else null.
    std::unique_ptr<MountTableChanges> watchChanges() const override;

private:
    std::string mountInfoPath_;
    LibmountMountTable table_;
};

} // namespace quaylet
