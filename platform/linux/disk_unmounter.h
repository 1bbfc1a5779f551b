// DiskUnmounter: unmounts every file system of the whole disk carrying a mount point.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "platform/linux/block_mount_table.h"
#include "platform/linux/udisks_storage.h"
#include "platform/unmount_cause.h"

namespace quaylet {

/// The system the disk unmounter works on; tests replace parts of it.
struct DiskUnmounterSystem {
    std::function<std::vector<BlockMount>()> readMounts;           ///< The mount table.
    std::function<std::error_code(const BlockMount&)> unmount;     ///< Unmounts one mount.
    std::function<std::error_code(const std::string&)> detachLoop; ///< Loop detach.
    std::string sysRoot = "/sys";                                  ///< The sysfs tree.
    std::string devDir = "/dev";                                   ///< Device nodes.
    std::shared_ptr<UdisksStorage> udisks; ///< udisks, when it runs; it is asked first.

    /// Returns the live system: the process's mount table, unmounts through libmount, /sys,
    /// /dev, and udisks on the system bus when it runs there (`interactive`: polkit may ask
    /// the user for a password).
    static DiskUnmounterSystem live(bool interactive);
};

/// What became of one file system of the disk.
struct VolumeOutcome {
    std::string devicePath;     ///< Source of the mount (/dev/sdb1).
    std::string mountPoint;     ///< Where it was mounted.
    bool unmounted = false;     ///< Whether it is gone from the mount table.
    bool throughUdisks = false; ///< Whether udisks was asked (it knows the mount).
    /// How the attempt ended: none or gone when unmounted, else why it stayed mounted.
    UnmountCause cause = UnmountCause::none;
    std::string detail;    ///< udisks's refusal in its own words.
    std::error_code error; ///< The kernel's refusal, when the kernel was asked and refused.
    /// What the tool itself found about a volume that stayed mounted.
    enum class Finding {
        none,         ///< Nothing beyond udisks's or the kernel's answer.
        coveredOver,  ///< Another file system is mounted over it; it was not tried.
        stillMounted, ///< Still in the mount table afterwards, though no one refused.
    };
    Finding finding = Finding::none;
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
    /// Why nothing was done: no mount at the path, no disk under it, the boot disk; or, with
    /// a planned device, another device at the path (otherDevice), or the planned one covered
    /// there by another mount (coveredDevice).
    enum class Refusal { none, notMounted, notOnDisk, bootDisk, otherDevice, coveredDevice };

    Refusal refusal = Refusal::none;
    std::string foundSource;            ///< otherDevice, coveredDevice: what is on top there.
    std::string wholeDisk;              ///< Kernel name of the disk (sdb, loop3).
    std::vector<VolumeOutcome> volumes; ///< Its file systems, in the order they were tried.
    LoopRelease loop = LoopRelease::notALoop;
    std::string loopDevice;          ///< Node of the loop device, when the disk is one.
    std::string imagePath;           ///< Its backing file before the detach.
    std::error_code loopError;       ///< Why the detach failed.
    bool loopThroughUdisks = false;  ///< Whether udisks was asked to delete the loop device.
    std::string container;           ///< The encrypted container locked or left unlocked.
    std::optional<UdisksReply> lock; ///< How locking `container` ended, when it was tried.

    /// Returns whether nothing was refused and every file system is unmounted.
    bool allUnmounted() const;
};

/// Unmounts, deepest mount point first, every file system mounted from the whole disk that
/// carries `path` (a mount point, or a block device node), never forced and never lazy; then
/// locks the encrypted container the disk is the clear text of, and detaches the disk when it
/// is a loop device. A mount, loop device or container that udisks knows goes through udisks,
/// which decides with polkit what the user may do; the rest through the kernel. The mount
/// table is read twice: to plan, and to judge the outcome.
class DiskUnmounter {
public:
    /// Makes an unmounter that unmounts on `system`.
    explicit DiskUnmounter(DiskUnmounterSystem system);
    /// Unmounts the disk carrying `path`; the report says what became of each file system.
    /// With `plannedDevice`, refuses unless the uppermost mount at `path` comes from that
    /// device (its file system's number or its block device's).
    DiskUnmountReport unmountDisk(const std::string& path,
                                  std::optional<std::uint64_t> plannedDevice = std::nullopt);

private:
    std::optional<std::uint64_t> deviceAt(const std::string& path,
                                          const std::vector<BlockMount>& mounts,
                                          std::optional<std::uint64_t> plannedDevice,
                                          DiskUnmountReport& report) const;
    std::vector<BlockMount> mountsOfDisk(const std::string& disk,
                                         const std::vector<BlockMount>& mounts) const;
    VolumeOutcome unmountVolume(const BlockMount& mount, std::vector<BlockMount>& mounted);
    void releaseLoop(DiskUnmountReport& report, const std::vector<BlockMount>& mounts);
    void detachLoop(DiskUnmountReport& report);
    void lockContainer(DiskUnmountReport& report, std::uint64_t device);

    DiskUnmounterSystem system_;
};

} // namespace quaylet
