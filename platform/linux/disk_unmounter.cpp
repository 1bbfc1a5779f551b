// Unmounting a whole disk: its file systems deepest first through umount, then its loop device.
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

#include "platform/linux/loop_device.h"
#include "platform/linux/sysfs_block_devices.h"

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
    return a.target == b.target && a.device == b.device;
}

std::optional<std::string> canonicalPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                         &std::free);
    if (!resolved) {
        return std::nullopt;
    }
    return std::string(resolved.get());
}

/// Whether `mount` is the uppermost mount at its target: umount always takes the uppermost, so
/// running it for a covered mount would unmount a file system of some other disk.
bool isUppermost(const BlockMount& mount, const std::vector<BlockMount>& mounts) {
    for (auto it = mounts.rbegin(); it != mounts.rend(); ++it) {
        if (it->target == mount.target) {
            return it->device == mount.device;
        }
    }
    return false;
}

} // namespace

DiskUnmounterSystem DiskUnmounterSystem::live() {
    DiskUnmounterSystem system;
    system.readMounts = [] {
        return readBlockMounts();
    };
    system.detachLoop = detachLoopDevice;
    system.isRoot = ::geteuid() == 0;
    return system;
}

bool DiskUnmountReport::allUnmounted() const {
    return refusal == Refusal::none &&
           std::all_of(volumes.begin(), volumes.end(),
                       [](const VolumeOutcome& volume) { return volume.unmounted; });
}

bool shouldAskUdisks(const BlockMount& mount, bool isRoot) {
    return !isRoot && mount.mountedByUdisks;
}

DiskUnmounter::DiskUnmounter(ProcessRunner& runner, DiskUnmounterSystem system)
    : runner_(runner), system_(std::move(system)) {}

DiskUnmountReport DiskUnmounter::unmountDisk(const std::string& path) {
    DiskUnmountReport report;
    const std::vector<BlockMount> mounts = system_.readMounts();
    const std::optional<std::uint64_t> device = deviceAt(path, mounts);
    if (!device) {
        report.refusal = DiskUnmountReport::Refusal::notMounted;
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
    if (std::any_of(ofDisk.begin(), ofDisk.end(),
                    [](const BlockMount& mount) { return mount.target == "/"; })) {
        report.refusal = DiskUnmountReport::Refusal::bootDisk;
        return report;
    }
    for (const BlockMount& mount : ofDisk) {
        report.volumes.push_back(unmountVolume(mount));
    }
    // Judged once all are tried: a mount stacked twice at one target goes in two runs.
    for (std::size_t i = 0; i < ofDisk.size(); ++i) {
        report.volumes[i].unmounted = !isStillMounted(ofDisk[i]);
    }
    if (SysfsBlockDevices(system_.sysRoot).isLoopDevice(*disk)) {
        releaseLoop(report);
    }
    return report;
}

std::optional<std::uint64_t> DiskUnmounter::deviceAt(const std::string& path,
                                                     const std::vector<BlockMount>& mounts) const {
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0 && S_ISBLK(status.st_mode)) {
        return status.st_rdev;
    }
    const std::optional<std::string> canonical = canonicalPath(path);
    for (auto it = mounts.rbegin(); it != mounts.rend(); ++it) {
        if (it->target == path || (canonical && it->target == *canonical)) {
            return it->device;
        }
    }
    // A device named as the table names it, though its node is not (or no longer) there.
    for (const BlockMount& mount : mounts) {
        if (mount.source == path) {
            return mount.device;
        }
    }
    return std::nullopt;
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

VolumeOutcome DiskUnmounter::unmountVolume(const BlockMount& mount) {
    VolumeOutcome outcome{mount.source, mount.target, false, false};
    const std::vector<BlockMount> before = system_.readMounts();
    const bool present = std::any_of(before.begin(), before.end(),
                                     [&](const BlockMount& m) { return sameMount(m, mount); });
    if (!present || !isUppermost(mount, before)) {
        return outcome; // already gone, or covered by another mount that is not ours to take
    }
    runTool({system_.umountTool, "--", mount.target});
    if (isStillMounted(mount) && shouldAskUdisks(mount, system_.isRoot)) {
        outcome.throughUdisks = true;
        const std::string device =
            mount.source.starts_with("/dev/")
                ? mount.source
                : system_.devDir + "/" +
                      SysfsBlockDevices(system_.sysRoot).deviceName(mount.device).value_or("");
        runTool({system_.udisksTool, "unmount", "-b", device, "--no-user-interaction"});
    }
    return outcome;
}

bool DiskUnmounter::isStillMounted(const BlockMount& mount) const {
    const std::vector<BlockMount> mounts = system_.readMounts();
    return std::any_of(mounts.begin(), mounts.end(),
                       [&](const BlockMount& m) { return sameMount(m, mount); });
}

void DiskUnmounter::releaseLoop(DiskUnmountReport& report) {
    const SysfsBlockDevices sysfs(system_.sysRoot);
    report.loopDevice = system_.devDir + "/" + report.wholeDisk;
    const std::optional<std::string> backing = sysfs.loopBackingFile(report.wholeDisk);
    if (!backing) {
        report.loop = LoopRelease::alreadyReleased;
        return;
    }
    report.imagePath = *backing;
    if (!mountsOfDisk(report.wholeDisk, system_.readMounts()).empty()) {
        report.loop = LoopRelease::keptMounted;
    } else if (sysfs.hasHolders(report.wholeDisk)) {
        report.loop = LoopRelease::keptStacked;
    } else {
        detachLoop(report);
    }
}

void DiskUnmounter::detachLoop(DiskUnmountReport& report) {
    std::error_code error = system_.detachLoop(report.loopDevice);
    const bool refused =
        error == std::errc::permission_denied || error == std::errc::operation_not_permitted;
    if (refused && !system_.isRoot) {
        report.loopThroughUdisks = true;
        runTool(
            {system_.udisksTool, "loop-delete", "-b", report.loopDevice, "--no-user-interaction"});
    } else if (error == std::errc::device_or_resource_busy) {
        report.loop = LoopRelease::keptInUse;
        return;
    } else if (error == std::errc::no_such_device_or_address) {
        report.loop = LoopRelease::alreadyReleased; // detached meanwhile
        return;
    } else if (error) {
        report.loop = LoopRelease::failed;
        report.loopError = error;
        return;
    }
    if (!SysfsBlockDevices(system_.sysRoot).loopBackingFile(report.wholeDisk)) {
        report.loop = LoopRelease::detached;
    } else if (report.loopThroughUdisks) {
        report.loop = LoopRelease::failed;
        report.loopError = error;
    } else {
        report.loop = LoopRelease::detachPending;
    }
}

bool DiskUnmounter::runTool(const std::vector<std::string>& argv) {
    return !runner_.run(argv, [](std::string_view) {});
}

} // namespace quaylet
