// DiskUnmounter: unmounts every file system of the whole disk carrying a mount point.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "platform/linux/block_mount_table.h"
#include "platform/process_runner.h"

namespace quaylet {

/// The system the disk unmounter works on; tests replace parts of it.
struct DiskUnmounterSystem {
    std::function<std::vector<BlockMount>()> readMounts;           ///< The mount table.
    std::function<std::error_code(const std::string&)> detachLoop; ///< Loop detach.
    std::string sysRoot = "/sys";                                  ///< The sysfs tree.
    std::string devDir = "/dev";                                   ///< Device nodes.
    std::string umountTool = "/bin/umount";                        ///< util-linux umount.
    std::string udisksTool = "/usr/bin/udisksctl";                 ///< udisks' client.
    bool isRoot = false;                                           ///< Running as root.

    /// Returns the live system: the process's mount table, /sys, /dev, and its effective user.
    static DiskUnmounterSystem live();
};

/// What became of one file system of the disk.
struct VolumeOutcome {
    std::string devicePath;     ///< Source of the mount (/dev/sdb1).
    std::string mountPoint;     ///< Where it was mounted.
    bool unmounted = false;     ///< Whether it is gone from the mount table.
    bool throughUdisks = false; ///< Whether udisks was asked, umount having been refused.
};

/// What became of the loop device when the disk is one.
enum class LoopRelease {
    notALoop,        ///< The disk is no loop device.
    alreadyReleased, ///< It had no backing file left (detached when its last mount went).
    detached,        ///< Detached now; its image file is free.
    detachPending,   ///< Someone still holds it open; the kernel detaches it when they close.
    keptMounted,     ///< A file system on it is still mounted.
    keptStacked,     ///< Another device (device-mapper, md) is stacked on it.
    keptInUse,       ///< Claimed by someone else (EBUSY).
    failed,          ///< The detach failed; see `loopError`.
};

/// The outcome of one unmountDisk request.
struct DiskUnmountReport {
    /// Why nothing was done: no mount at the path, no disk under it, or the boot disk.
    enum class Refusal { none, notMounted, notOnDisk, bootDisk };

    Refusal refusal = Refusal::none;
    std::string wholeDisk;              ///< Kernel name of the disk (sdb, loop3).
    std::vector<VolumeOutcome> volumes; ///< Its file systems, in the order they were tried.
    LoopRelease loop = LoopRelease::notALoop;
    std::string loopDevice;         ///< Node of the loop device, when the disk is one.
    std::string imagePath;          ///< Its backing file before the detach.
    std::error_code loopError;      ///< Why the detach failed.
    bool loopThroughUdisks = false; ///< Whether udisks was asked to delete the loop device.

    /// Returns whether nothing was refused and every file system is unmounted.
    bool allUnmounted() const;
};

/// Returns whether a mount that umount left in place should be handed to udisks: the caller
/// is no root (so umount refuses for permissions) and udisks mounted it.
bool shouldAskUdisks(const BlockMount& mount, bool isRoot);

/// Unmounts, deepest mount point first, every file system mounted from the whole disk that
/// carries `path` (a mount point, or a block device node), through umount started without a
/// shell, never forced and never lazy; then detaches the disk when it is a loop device.
class DiskUnmounter {
public:
    /// Makes an unmounter that runs its tools through `runner` on `system`.
    DiskUnmounter(ProcessRunner& runner, DiskUnmounterSystem system);
    /// Unmounts the disk carrying `path`; the report says what became of each file system.
    DiskUnmountReport unmountDisk(const std::string& path);

private:
    std::optional<std::uint64_t> deviceAt(const std::string& path,
                                          const std::vector<BlockMount>& mounts) const;
    std::vector<BlockMount> mountsOfDisk(const std::string& disk,
                                         const std::vector<BlockMount>& mounts) const;
    VolumeOutcome unmountVolume(const BlockMount& mount);
    bool isStillMounted(const BlockMount& mount) const;
    void releaseLoop(DiskUnmountReport& report);
    void detachLoop(DiskUnmountReport& report);
    bool runTool(const std::vector<std::string>& argv);

    ProcessRunner& runner_;
    DiskUnmounterSystem system_;
};

} // namespace quaylet
