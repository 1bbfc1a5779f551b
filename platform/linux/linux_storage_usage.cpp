// The storage in use on Linux: sysfs block devices with their holders and loop backing files,
// the mount table with each mount's block devices, and the active swap areas.
#include "platform/linux/linux_storage_usage.h"

#include <map>
#include <utility>

#include "platform/linux/libmount_handles.h"
#include "platform/linux/sysfs_block_devices.h"
#include "platform/linux/sysfs_reader.h"

namespace quaylet {
namespace {

constexpr std::string_view kDeletedSuffix = " (deleted)";

/// Returns a loop device's backing file as it was attached: the kernel marks a file that was
/// deleted since, but the image still lies where the path says until the device goes.
std::string attachedImage(std::string backingFile) {
    if (backingFile.ends_with(kDeletedSuffix)) {
        backingFile.resize(backingFile.size() - kDeletedSuffix.size());
    }
    return backingFile;
}

} // namespace

LinuxStorageUsage::LinuxStorageUsage(std::string sysfsRoot, MountSourceNodes nodes,
                                     std::string mountInfoPath, std::string swapsPath)
    : sysfsRoot_(sysfs::normalRoot(std::move(sysfsRoot))), naming_(sysfsRoot_, nodes),
      stacks_(sysfsRoot_), mountTable_(std::move(mountInfoPath)), swapsPath_(std::move(swapsPath)) {
}

StorageUsageReport LinuxStorageUsage::read() const {
    StorageUsageReport report;
    if (!readDevices(report)) {
        report.unreadable = "block devices";
    }
    if (!readMounts(report) && report.unreadable.empty()) {
        report.unreadable = "mount table";
    }
    if (!readSwaps(report) && report.unreadable.empty()) {
        report.unreadable = "swap list";
    }
    return report;
}

bool LinuxStorageUsage::readDevices(StorageUsageReport& report) const {
    if (!sysfs::exists(sysfsRoot_ + "/class/block")) {
        return false;
    }
    const SysfsBlockDevices devices(sysfsRoot_);
    std::map<std::string, std::size_t> byName;
    for (const std::string& name : stacks_.blockDevices()) {
        BlockDeviceUse device{name, stacks_.holders(name), {}};
        if (name.starts_with("loop")) {
            const auto backingFile =
                sysfs::readAttribute(sysfsRoot_ + "/class/block/" + name + "/loop/backing_file");
            device.backingFile = attachedImage(backingFile.value_or(""));
        }
        byName.emplace(name, report.devices.size());
        report.devices.push_back(std::move(device));
    }
    // A disk's partitions stand on it as a stacked device does.
    for (const auto& [name, index] : byName) {
        const auto names = devices.namesOfKernelName(name);
        const auto disk = names ? byName.find(names->wholeDisk) : byName.end();
        if (disk != byName.end() && disk->second != index) {
            report.devices[disk->second].holders.push_back(name);
        }
    }
    return true;
}

bool LinuxStorageUsage::readMounts(StorageUsageReport& report) const {
    // A mount table always holds the root: an empty one is one that could not be read.
    const std::vector<MountEntry> entries = mountTable_.entries();
    for (const MountEntry& entry : entries) {
        MountedFileSystemUse mount{entry.devicePath, entry.mountPoint, {}};
        if (const auto names = naming_.blockDeviceNames(entry)) {
            mount.devices.push_back(names->volume);
        }
        report.mounts.push_back(std::move(mount));
    }
    return !entries.empty();
}

bool LinuxStorageUsage::readSwaps(StorageUsageReport& report) const {
    LibmountTablePtr table(mnt_new_table());
    const LibmountIteratorPtr iterator(mnt_new_iter(MNT_ITER_FORWARD));
    if (!table || !iterator || mnt_table_parse_swaps(table.get(), swapsPath_.c_str()) != 0) {
        return false;
    }
    libmnt_fs* fs = nullptr;
    while (mnt_table_next_fs(table.get(), iterator.get(), &fs) == 0) {
        SwapUse swap{libmountText(mnt_fs_get_source(fs)), {}};
        // A swap file's path is no block device; its volume is found by the gate.
        if (libmountText(mnt_fs_get_swaptype(fs)) != std::string_view("file")) {
            if (const auto names = naming_.blockDeviceNames(swap.path)) {
                swap.device = names->volume;
            }
        }
        report.swaps.push_back(std::move(swap));
    }
    return true;
}

} // namespace quaylet
