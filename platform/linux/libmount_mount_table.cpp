// The mount table through libmount, and the mount-target test built on it.
#include "platform/linux/libmount_mount_table.h"

#include <cstdlib>
#include <optional>
#include <utility>

#include <sys/stat.h>

#include "platform/device_number.h"
#include "platform/linux/canonical_path.h"
#include "platform/linux/libmount_handles.h"
#include "platform/linux/mount_root_check.h"
#include "platform/linux/mountinfo_changes.h"

namespace quaylet {
namespace {

/// Reads `path` into a new libmount table; null when it cannot be read.
LibmountTablePtr parseTable(const std::string& path) {
    LibmountTablePtr table(mnt_new_table());
    if (!table || mnt_table_parse_file(table.get(), path.c_str()) != 0) {
        return nullptr;
    }
    return table;
}

/// The stat-based judgement used only when no mount table is readable: a mount root lies on
/// another device than its parent directory.
bool looksLikeMountRoot(const std::string& path) {
    struct stat self {};
    struct stat parent {};
    if (::stat(path.c_str(), &self) != 0) {
        return false;
    }
    if (::stat((path + "/..").c_str(), &parent) != 0) {
        return false;
    }
    return self.st_dev != parent.st_dev || self.st_ino == parent.st_ino;
}

/// The judgement of LibmountMountPointProbe on one read of the table, `entries`.
bool isMountedIn(const std::vector<MountEntry>& entries, const std::string& mountPoint,
                 std::uint64_t deviceNumber) {
    if (entries.empty()) {
        // An unreadable table must not read as "unmounted": that would report success.
        return looksLikeMountRoot(mountPoint);
    }
    const std::optional<std::string> canonical = canonicalPath(mountPoint);
    for (const MountEntry& entry : entries) {
        const bool atPath =
            entry.mountPoint == mountPoint || (canonical && entry.mountPoint == *canonical);
        // An automount trigger outlives the file system mounted on it and holds no data.
        if (!atPath || entry.fileSystemType == "autofs") {
            continue;
        }
        if (deviceNumber == 0 || entry.deviceNumber == deviceNumber) {
            return true;
        }
    }
    return false;
}

/// One read of the table, kept to answer several questions.
class MountTableReading final : public MountPointProbe {
public:
    explicit MountTableReading(std::vector<MountEntry> entries) : entries_(std::move(entries)) {}
    bool isMounted(const std::string& mountPoint, std::uint64_t deviceNumber) const override {
        return isMountedIn(entries_, mountPoint, deviceNumber);
    }
    const std::vector<MountEntry>* keptEntries() const override { return &entries_; }

private:
    std::vector<MountEntry> entries_;
};

} // namespace

LibmountMountTable::LibmountMountTable(std::string mountInfoPath)
    : mountInfoPath_(std::move(mountInfoPath)) {}

std::vector<MountEntry> LibmountMountTable::entries() const {
    std::vector<MountEntry> result;
    const LibmountTablePtr table = parseTable(mountInfoPath_);
    const LibmountIteratorPtr iterator(mnt_new_iter(MNT_ITER_FORWARD));
    if (!table || !iterator) {
        return result;
    }
    libmnt_fs* fs = nullptr;
    while (mnt_table_next_fs(table.get(), iterator.get(), &fs) == 0) {
        result.push_back(MountEntry{
            libmountText(mnt_fs_get_source(fs)), libmountText(mnt_fs_get_target(fs)),
            libmountText(mnt_fs_get_fstype(fs)), static_cast<std::uint64_t>(mnt_fs_get_devno(fs))});
    }
    return result;
}

LibmountMountPointProbe::LibmountMountPointProbe(std::string mountInfoPath)
    : mountInfoPath_(mountInfoPath), table_(std::move(mountInfoPath)) {}

bool LibmountMountPointProbe::isMounted(const std::string& mountPoint,
                                        std::uint64_t deviceNumber) const {
    return isMountedIn(table_.entries(), mountPoint, deviceNumber);
}

std::shared_ptr<const MountPointProbe> LibmountMountPointProbe::snapshot() const {
    return std::make_shared<MountTableReading>(table_.entries());
}

std::shared_ptr<const MountPointProbe>
LibmountMountPointProbe::readingOf(std::vector<MountEntry> entries) const {
    return std::make_shared<MountTableReading>(std::move(entries));
}

std::optional<bool> LibmountMountPointProbe::askMountPoint(const std::string& mountPoint,
                                                           std::uint64_t deviceNumber) const {
    if (mountInfoPath_ != kMountInfoPath) {
        return std::nullopt;
    }
    return mountedByPath(mountPoint, deviceNumber);
}

std::unique_ptr<MountTableChanges> LibmountMountPointProbe::watchChanges() const {
    return MountinfoChanges::open(mountInfoPath_);
}

} // namespace quaylet
