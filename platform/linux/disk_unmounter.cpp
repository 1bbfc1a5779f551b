// Unmounting a whole disk: its file systems deepest first through udisks or libmount, then its
// encrypted container and its loop device.
#include "platform/linux/disk_unmounter.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/linux/boot_disks.h"
#include "platform/linux/canonical_path.h"
#include "platform/linux/libmount_unmount.h"
#include "platform/linux/loop_device.h"
#include "platform/linux/sysfs_block_devices.h"
#include "platform/linux/udisks_module.h"

namespace quaylet {
namespace {

std::size_t depthOf(const std::string& target) {
    std::string_view path(target);
    while (path.size() > 1 && path.back() == '/') {
        path.remove_suffix(1);
    }
    return path == "/" ? 0 : static_cast<std::size_t>(std::count(path.begin(), path.end(), '/'));
}

bool sameMount(const BlockMount& a, const BlockMount& b) {
    return a.target == b.target && a.device == b.device && a.mountId == b.mountId;
}

bool isMounted(const BlockMount& mount, const std::vector<BlockMount>& mounts) {
    return std::any_of(mounts.begin(), mounts.end(),
                       [&](const BlockMount& m) { return sameMount(m, mount); });
}

/// Whether `mount` comes from device `device`: by its file system's number, which the scan
/// plans by, or by its block device's.
bool comesFrom(const BlockMount& mount, std::uint64_t device) {
    return mount.fileSystemDevice == device || (mount.device != 0 && mount.device == device);
}

/// Whether `mount` is the uppermost mount at its target: the kernel always unmounts the
/// uppermost, so unmounting a covered mount's target would take some other file system.
bool isUppermost(const BlockMount& mount, const std::vector<BlockMount>& mounts) {
    for (auto it = mounts.rbegin(); it != mounts.rend(); ++it) {
        if (it->target == mount.target) {
            return sameMount(*it, mount);
        }
    }
    return false;
}

/// The mounts whose target is `path`, as given or in canonical form, in table order (the
/// last one uppermost); else the first mount whose source is `path` as the table names it,
/// though its node is not (or no longer) there.
std::vector<const BlockMount*> mountsAt(const std::string& path,
                                        const std::vector<BlockMount>& mounts) {
    std::vector<const BlockMount*> result;
    const std::optional<std::string> canonical = canonicalPath(path);
    for (const BlockMount& mount : mounts) {
        if (mount.target == path || (canonical && mount.target == *canonical)) {
            result.push_back(&mount);
        }
    }
    if (result.empty()) {
        const auto named = std::find_if(mounts.begin(), mounts.end(), [&](const BlockMount& mount) {
            return mount.source == path;
        });
        if (named != mounts.end()) {
            result.push_back(&*named);
        }
    }
    return result;
}

} // namespace

DiskUnmounterSystem DiskUnmounterSystem::live(bool interactive) {
    DiskUnmounterSystem system;
    system.readMounts = [] {
        return readBlockMounts();
    };
    system.unmount = unmountThroughLibmount;
    system.detachLoop = detachLoopDevice;
    system.udisks = connectUdisks(interactive);
    return system;
}

bool DiskUnmountReport::allUnmounted() const {
    return refusal == Refusal::none &&
           std::all_of(volumes.begin(), volumes.end(),
                       [](const VolumeOutcome& volume) { return volume.unmounted; });
}

DiskUnmounter::DiskUnmounter(DiskUnmounterSystem system) : system_(std::move(system)) {}

DiskUnmountReport DiskUnmounter::unmountDisk(const std::string& path,
                                             std::optional<std::uint64_t> plannedDevice) {
    DiskUnmountReport report;
    const std::vector<BlockMount> mounts = system_.readMounts();
    const std::optional<std::uint64_t> device = deviceAt(path, mounts, plannedDevice, report);
    if (!device) {
        return report;
    }
    const std::optional<std::string> disk =
        SysfsBlockDevices(system_.sysRoot).wholeDiskName(*device);
    if (!disk) {
        report.refusal = DiskUnmountReport::Refusal::notOnDisk;
        return report;
    }
    report.wholeDisk = *disk;
    const std::vector<BlockMount> ofDisk = mountsOfDisk(*disk, mounts);
    // The boot disk: root is mounted from it, or from a stack (dm, md, btrfs) over it.
    const std::vector<std::string> bootDisks = bootWholeDisks(mounts, system_.sysRoot);
    if (std::any_of(ofDisk.begin(), ofDisk.end(),
                    [](const BlockMount& mount) { return mount.target == "/"; }) ||
        std::find(bootDisks.begin(), bootDisks.end(), *disk) != bootDisks.end()) {
        report.refusal = DiskUnmountReport::Refusal::bootDisk;
        return report;
    }
    // What this run has left mounted, as far as it knows: a mount stacked twice at one target
    // is uncovered once the upper one is gone.
    std::vector<BlockMount> mounted = mounts;
    for (const BlockMount& mount : ofDisk) {
        report.volumes.push_back(unmountVolume(mount, mounted));
    }
    // Judged once all are tried, by the table as it now is.
    const std::vector<BlockMount> after = system_.readMounts();
    for (std::size_t i = 0; i < ofDisk.size(); ++i) {
        VolumeOutcome& volume = report.volumes[i];
        volume.unmounted = !isMounted(ofDisk[i], after);
        if (volume.unmounted && volume.cause != UnmountCause::gone) {
            volume.cause = UnmountCause::none;
            volume.detail.clear();
            volume.error.clear();
            volume.finding = VolumeOutcome::Finding::none;
        } else if (!volume.unmounted &&
                   (volume.cause == UnmountCause::none || volume.cause == UnmountCause::gone)) {
            volume.cause = UnmountCause::failed;
            volume.detail.clear();
            volume.error.clear();
            volume.finding = VolumeOutcome::Finding::stillMounted;
        }
    }
    if (system_.udisks && report.allUnmounted()) {
        for (const BlockMount& mount : ofDisk) {
            lockContainer(report, mount.device);
        }
    }
    if (SysfsBlockDevices(system_.sysRoot).isLoopDevice(*disk)) {
        releaseLoop(report, after);
    }
    return report;
}

std::optional<std::uint64_t> DiskUnmounter::deviceAt(const std::string& path,
                                                     const std::vector<BlockMount>& mounts,
                                                     std::optional<std::uint64_t> plannedDevice,
                                                     DiskUnmountReport& report) const {
    using Refusal = DiskUnmountReport::Refusal;
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0 && S_ISBLK(status.st_mode)) {
        if (plannedDevice && status.st_rdev != *plannedDevice) {
            report.refusal = Refusal::otherDevice;
            report.foundSource = path;
            return std::nullopt;
        }
        return status.st_rdev;
    }
    const std::vector<const BlockMount*> here = mountsAt(path, mounts);
    if (here.empty()) {
        report.refusal = Refusal::notMounted;
        return std::nullopt;
    }
    const BlockMount& uppermost = *here.back();
    if (plannedDevice && !comesFrom(uppermost, *plannedDevice)) {
        // Never some other disk's: not the one mounted since over the planned volume, nor the
        // one left at its path after it went.
        const bool covered = std::any_of(here.begin(), here.end() - 1, [&](const BlockMount* m) {
            return comesFrom(*m, *plannedDevice);
        });
        report.refusal = covered ? Refusal::coveredDevice : Refusal::otherDevice;
        report.foundSource = uppermost.source;
        return std::nullopt;
    }
    return uppermost.device;
}

std::vector<BlockMount> DiskUnmounter::mountsOfDisk(const std::string& disk,
                                                    const std::vector<BlockMount>& mounts) const {
    const SysfsBlockDevices sysfs(system_.sysRoot);
    std::map<std::uint64_t, std::optional<std::string>> disks;
    std::vector<BlockMount> result;
    for (auto it = mounts.rbegin(); it != mounts.rend(); ++it) {
        if (it->device == 0) {
            continue;
        }
        auto [known, added] = disks.try_emplace(it->device);
        if (added) {
            known->second = sysfs.wholeDiskName(it->device);
        }
        if (known->second == disk) {
            result.push_back(*it);
        }
    }
    // Deepest mount point first; among equals, the latest mount first.
    std::stable_sort(result.begin(), result.end(), [](const BlockMount& a, const BlockMount& b) {
        return depthOf(a.target) > depthOf(b.target);
    });
    return result;
}

VolumeOutcome DiskUnmounter::unmountVolume(const BlockMount& mount,
                                           std::vector<BlockMount>& mounted) {
    VolumeOutcome outcome;
    outcome.devicePath = mount.source;
    outcome.mountPoint = mount.target;
    if (!isUppermost(mount, mounted)) {
        outcome.cause = UnmountCause::busy; // covered by another mount that is not ours to take
        outcome.finding = VolumeOutcome::Finding::coveredOver;
        return outcome;
    }
    // udisks first where it knows the mount: it lets the user unmount what polkit allows, and
    // keeps its own records (and the folder it made under /media) right.
    if (std::optional<UdisksReply> reply =
            system_.udisks ? system_.udisks->unmount(mount) : std::nullopt) {
        outcome.throughUdisks = true;
        outcome.cause = reply->cause;
        if (reply->cause != UnmountCause::none) {
            outcome.detail = reply->message;
        }
        // polkit asks for an administrator where fstab's "user" option lets the user unmount
        // without one: the kernel may still take what udisks would not.
        if (reply->cause == UnmountCause::notAllowed && !system_.unmount(mount)) {
            outcome.cause = UnmountCause::none;
            outcome.detail.clear();
        }
    } else if (const std::error_code error = system_.unmount(mount)) {
        outcome.cause = unmountCauseOfError(error);
        outcome.error = error;
    }
    if (outcome.cause == UnmountCause::none || outcome.cause == UnmountCause::gone) {
        // The uppermost match is the one that went.
        const auto gone = std::find_if(mounted.rbegin(), mounted.rend(),
                                       [&](const BlockMount& m) { return sameMount(m, mount); });
        if (gone != mounted.rend()) {
            mounted.erase(std::next(gone).base());
        }
    }
    return outcome;
}

void DiskUnmounter::lockContainer(DiskUnmountReport& report, std::uint64_t device) {
    if (report.lock) {
        return; // one container a disk
    }
    if (std::optional<UdisksReply> reply = system_.udisks->lockContainerOf(device)) {
        report.container = reply->message;
        report.lock = std::move(reply);
    }
}

void DiskUnmounter::releaseLoop(DiskUnmountReport& report, const std::vector<BlockMount>& mounts) {
    const SysfsBlockDevices sysfs(system_.sysRoot);
    report.loopDevice = system_.devDir + "/" + report.wholeDisk;
    const std::optional<std::string> backing = sysfs.loopBackingFile(report.wholeDisk);
    if (!backing) {
        report.loop = LoopRelease::alreadyReleased;
        return;
    }
    report.imagePath = *backing;
    if (!mountsOfDisk(report.wholeDisk, mounts).empty()) {
        report.loop = LoopRelease::keptMounted;
    } else if (sysfs.hasHolders(report.wholeDisk)) {
        report.loop = LoopRelease::keptStacked;
    } else {
        detachLoop(report);
    }
}

void DiskUnmounter::detachLoop(DiskUnmountReport& report) {
    std::error_code error;
    const std::optional<std::uint64_t> number =
        SysfsBlockDevices(system_.sysRoot).deviceNumber(report.wholeDisk);
    if (std::optional<UdisksReply> reply =
            system_.udisks && number ? system_.udisks->deleteLoop(*number) : std::nullopt) {
        report.loopThroughUdisks = true;
        switch (reply->cause) {
        case UnmountCause::none:
            break;
        case UnmountCause::busy:
            error = std::make_error_code(std::errc::device_or_resource_busy);
            break;
        case UnmountCause::gone:
            error = std::make_error_code(std::errc::no_such_device_or_address);
            break;
        case UnmountCause::notAllowed:
            error = std::make_error_code(std::errc::operation_not_permitted);
            break;
        case UnmountCause::failed:
            error = std::make_error_code(std::errc::io_error);
            break;
        }
    } else {
        error = system_.detachLoop(report.loopDevice);
    }
    if (error == std::errc::device_or_resource_busy) {
        report.loop = LoopRelease::keptInUse;
        return;
    }
    if (error == std::errc::no_such_device_or_address) {
        report.loop = LoopRelease::alreadyReleased; // detached meanwhile
        return;
    }
    if (error) {
        report.loop = LoopRelease::failed;
        report.loopError = error;
        return;
    }
    if (!SysfsBlockDevices(system_.sysRoot).loopBackingFile(report.wholeDisk)) {
        report.loop = LoopRelease::detached;
    } else {
        report.loop = LoopRelease::detachPending;
    }
}

} // namespace quaylet
