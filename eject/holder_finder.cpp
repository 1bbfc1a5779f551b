// The holder search over the open-files tool, the process table, the mount table and what the
// system's block devices carry.
#include "eject/holder_finder.h"

#include <algorithm>
#include <map>
#include <set>
#include <string_view>
#include <utility>

#include "eject/busy_process_finder.h"
#include "eject/open_file_uses_parser.h"
#include "platform/local_file_systems.h"
#include "volumes/volume_display_name.h"

namespace quaylet {
namespace {

using Kind = Holder::Kind;

/// Knows no application: names a process whose application was looked for already.
class NoApplications final : public ApplicationLookup {
public:
    std::optional<std::string> applicationName(std::int32_t /*pid*/) const override {
        return std::nullopt;
    }
};

bool holdsPath(std::string_view mountPoint, std::string_view path) {
    if (mountPoint == "/") {
        return path.starts_with('/');
    }
    return path.starts_with(mountPoint) &&
           (path.size() == mountPoint.size() || path[mountPoint.size()] == '/');
}

/// One search over a list of volumes, with the tables it reads once.
class HolderSearch {
public:
    HolderSearch(Platform& platform, std::vector<VolumeHolders>& volumes,
                 std::vector<MountEntry> mounts)
        : platform_(platform), volumes_(volumes),
          mounts_(mounts.empty() ? platform.mountTable->entries() : std::move(mounts)) {
        for (const VolumeHolders& volume : volumes_) {
            std::uint64_t device = 0;
            for (const MountEntry& mount : mounts_) {
                if (!volume.mountPoint.empty() && mount.mountPoint == volume.mountPoint) {
                    device = mount.deviceNumber; // the uppermost mount there
                }
            }
            devices_.push_back(device);
        }
        // The table just read is the one the storage in use is matched against; one that could
        // not be read is tried again there. Of the block devices only the images are searched.
        if (platform.storageUsage) {
            usage_ = mounts_.empty() ? platform.storageUsage->read()
                                     : platform.storageUsage->readImagesWithMounts(mounts_);
        }
    }

    void findProcesses() {
        std::vector<std::string> paths;
        std::set<std::uint64_t> devices;
        for (std::size_t i = 0; i < volumes_.size(); ++i) {
            if (!volumes_[i].mountPoint.empty()) {
                paths.push_back(volumes_[i].mountPoint);
            }
            if (devices_[i] != 0) {
                devices.insert(devices_[i]);
            }
        }
        if (paths.empty()) {
            return;
        }
        OpenFileUsesParser parser;
        const std::error_code notStarted = platform_.processRunner->run(
            platform_.toolCommands.listHolders(paths, everyFileSystemAnswersLocally(mounts_)),
            [&parser](std::string_view line) { parser.parseLine(line); });
        for (const ProcessUse& use : parser.uses()) {
            addProcess(use);
        }
        // The process table shows everything when the tool is not there, and what it may have
        // missed when it cannot see every process. A tool that sees them all reports working
        // and root directories and maps as well, and a second walk over every process would
        // only double the wait.
        if (platform_.processUses && (notStarted || !platform_.seesEveryProcess)) {
            for (const ProcessUse& use : platform_.processUses->usesOn(devices)) {
                addProcess(use);
            }
        }
    }

    void findStorageHolders() {
        for (const BlockDeviceUse& device : usage_.devices) {
            if (!device.backingFile.empty()) {
                add(device.backingFile, device.backingFileDevice,
                    storageHolder(Kind::AttachedImage, lastPathComponent(device.backingFile),
                                  device.backingFile, imageDetail(device)));
            }
        }
        for (const SwapUse& swap : usage_.swaps) {
            if (swap.device.empty()) {
                add(swap.path, swap.fileDevice,
                    storageHolder(Kind::SwapFile, swap.path, swap.path));
            }
        }
        for (VolumeHolders& volume : volumes_) {
            std::set<std::string> inside;
            for (const MountEntry& mount : mounts_) {
                if (!volume.mountPoint.empty() && mount.mountPoint != volume.mountPoint &&
                    holdsPath(volume.mountPoint, mount.mountPoint) &&
                    inside.insert(mount.mountPoint).second) {
                    volume.holders.push_back(
                        storageHolder(Kind::MountInside, mount.mountPoint, mount.mountPoint));
                }
            }
        }
        for (const std::string& folder : usage_.nfsExports) {
            add(folder, 0, storageHolder(Kind::NfsExport, folder, folder));
        }
    }

private:
    /// Returns the index of the volume `path` (on file system `device`, 0 when unknown) lies
    /// on; -1 for none.
    int volumeOf(std::string_view path, std::uint64_t device) const {
        for (std::size_t i = 0; i < volumes_.size(); ++i) {
            if (device != 0 && device == devices_[i]) {
                return static_cast<int>(i);
            }
        }
        // The innermost mount holding the path; with no table, the innermost volume.
        std::string_view innermost;
        for (const MountEntry& mount : mounts_) {
            if (holdsPath(mount.mountPoint, path) && mount.mountPoint.size() >= innermost.size()) {
                innermost = mount.mountPoint;
            }
        }
        int found = -1;
        for (std::size_t i = 0; i < volumes_.size(); ++i) {
            const std::string& point = volumes_[i].mountPoint;
            if (point.empty() || !holdsPath(point, path)) {
                continue;
            }
            if (mounts_.empty() ? found < 0 || point.size() > volumes_[found].mountPoint.size()
                                : point == innermost) {
                found = static_cast<int>(i);
            }
        }
        return found;
    }

    void add(std::string_view path, std::uint64_t device, Holder holder) {
        if (const int volume = volumeOf(path, device); volume >= 0) {
            volumes_[volume].holders.push_back(std::move(holder));
        }
    }

    /// One holder per process and volume, named once per process.
    void addProcess(const ProcessUse& use) {
        const int volume = volumeOf(use.path, use.deviceNumber);
        if (volume < 0 || !seen_.insert({volume, use.pid}).second) {
            return;
        }
        auto named = named_.find(use.pid);
        if (named == named_.end()) {
            named = named_.emplace(use.pid, nameProcess(use)).first;
        }
        Holder holder = named->second;
        holder.path = use.path;
        volumes_[volume].holders.push_back(std::move(holder));
    }

    Holder nameProcess(const ProcessUse& use) const {
        Holder holder;
        holder.pid = use.pid;
        holder.uid = use.uid;
        if (use.uid) {
            holder.user = platform_.processUses ? platform_.processUses->userName(*use.uid)
                                                : std::to_string(*use.uid);
        }
        if (auto application = platform_.applicationLookup->application(use.pid)) {
            holder.name = std::move(application->name);
            holder.desktopEntry = std::move(application->desktopEntry);
        }
        if (holder.name.empty()) {
            // By the tools alone: the application was looked for just above.
            static const NoApplications none;
            const BusyProcessFinder namer(
                ProcessTools{*platform_.processRunner, platform_.toolCommands, none});
            holder.name = namer.processNameForPid(use.pid, use.command);
        }
        return holder;
    }

    /// "/dev/loop3", and " at " where its file system (or a partition's) is mounted.
    std::string imageDetail(const BlockDeviceUse& device) const {
        std::string detail = "/dev/" + device.name;
        for (const MountedFileSystemUse& mount : usage_.mounts) {
            for (const std::string& name : mount.devices) {
                if (name == device.name ||
                    std::ranges::find(device.holders, name) != device.holders.end()) {
                    return detail + " at " + mount.mountPoint;
                }
            }
        }
        return detail;
    }

    Platform& platform_;
    std::vector<VolumeHolders>& volumes_;
    std::vector<MountEntry> mounts_;
    std::vector<std::uint64_t> devices_; ///< Each volume's device number; 0 when unknown.
    StorageUsageReport usage_;
    std::set<std::pair<int, std::int32_t>> seen_; ///< (volume, pid) already listed.
    std::map<std::int32_t, Holder> named_;
};

} // namespace

Holder storageHolder(Holder::Kind kind, std::string name, std::string path, std::string detail) {
    Holder holder;
    holder.kind = kind;
    holder.name = std::move(name);
    holder.path = std::move(path);
    holder.detail = std::move(detail);
    return holder;
}

void findHolders(Platform& platform, std::vector<VolumeHolders>& volumes,
                 std::vector<MountEntry> mounts) {
    if (volumes.empty()) {
        return;
    }
    HolderSearch search(platform, volumes, std::move(mounts));
    search.findProcesses();
    search.findStorageHolders();
}

} // namespace quaylet
