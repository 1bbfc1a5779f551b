// The storage in use on Linux: sysfs block devices with their holders and loop backing files,
// the mount table with each mount's block devices, and the active swap areas.
#include "platform/linux/linux_storage_usage.h"

#include <fstream>
#include <map>
#include <utility>

#include <sys/stat.h>

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

/// Returns the device number of the file system `path` lies on; 0 when it cannot be read.
std::uint64_t fileSystemOf(const std::string& path) {
    struct stat status {};
    return path.empty() || ::stat(path.c_str(), &status) != 0 ? 0 : status.st_dev;
}

/// Decodes the octal escapes ("\040" for a blank) that the export lists write in paths.
std::string decodeOctalEscapes(std::string_view text) {
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto isOctal = [&](std::size_t at) {
            return at < text.size() && text[at] >= '0' && text[at] <= '7';
        };
        if (text[i] == '\\' && isOctal(i + 1) && isOctal(i + 2) && isOctal(i + 3)) {
            decoded += static_cast<char>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 +
                                         (text[i + 3] - '0'));
            i += 3;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

} // namespace

LinuxStorageUsage::LinuxStorageUsage(std::string sysfsRoot, MountSourceNodes nodes,
                                     std::string mountInfoPath, std::string swapsPath,
                                     std::vector<std::string> exportLists)
    : sysfsRoot_(sysfs::normalRoot(std::move(sysfsRoot))), naming_(sysfsRoot_, nodes),
      stacks_(sysfsRoot_), mountTable_(std::move(mountInfoPath)), swapsPath_(std::move(swapsPath)),
      exportLists_(std::move(exportLists)) {}

StorageUsageReport LinuxStorageUsage::read() const {
    return readAll(nullptr);
}

StorageUsageReport LinuxStorageUsage::readWithMounts(const std::vector<MountEntry>& mounts) const {
    return readAll(&mounts);
}

StorageUsageReport
LinuxStorageUsage::readImagesWithMounts(const std::vector<MountEntry>& mounts) const {
    return readAll(&mounts, true);
}

StorageUsageReport LinuxStorageUsage::readAll(const std::vector<MountEntry>* mounts,
                                              bool loopsOnly) const {
    StorageUsageReport report;
    if (!readDevices(report, loopsOnly)) {
        report.unreadable = "block devices";
    }
    if (!readMounts(report, mounts != nullptr ? *mounts : mountTable_.entries()) &&
        report.unreadable.empty()) {
        report.unreadable = "mount table";
    }
    if (!readSwaps(report) && report.unreadable.empty()) {
        report.unreadable = "swap list";
    }
    readExports(report);
    return report;
}

bool LinuxStorageUsage::readDevices(StorageUsageReport& report, bool loopsOnly) const {
    if (!sysfs::exists(sysfsRoot_ + "/class/block")) {
        return false;
    }
    const SysfsBlockDevices devices(sysfsRoot_);
    std::map<std::string, std::size_t> byName;
    std::vector<std::string> blockNames = stacks_.blockDevices();
    if (loopsOnly) {
        // A loop device's partitions are loop devices by name too (loop0p1).
        std::erase_if(blockNames,
                      [](const std::string& name) { return !name.starts_with("loop"); });
    }
    std::vector<std::vector<std::string>> holders = stacks_.holdersOfEach(blockNames);
    for (std::size_t i = 0; i < blockNames.size(); ++i) {
        const std::string& name = blockNames[i];
        BlockDeviceUse device{name, std::move(holders[i]), {}, 0};
        if (name.starts_with("loop")) {
            const auto backingFile =
                sysfs::readAttribute(sysfsRoot_ + "/class/block/" + name + "/loop/backing_file");
            device.backingFile = attachedImage(backingFile.value_or(""));
            device.backingFileDevice = fileSystemOf(device.backingFile);
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

bool LinuxStorageUsage::readMounts(StorageUsageReport& report,
                                   const std::vector<MountEntry>& entries) const {
    // A mount table always holds the root: an empty one is one that could not be read.
    for (const MountEntry& entry : entries) {
        MountedFileSystemUse mount{entry.devicePath, entry.mountPoint, {}, entry.deviceNumber};
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
        SwapUse swap{libmountText(mnt_fs_get_source(fs)), {}, 0};
        // A swap file's path is no block device; its volume is found by the gate.
        if (libmountText(mnt_fs_get_swaptype(fs)) != std::string_view("file")) {
            if (const auto names = naming_.blockDeviceNames(swap.path)) {
                swap.device = names->volume;
            }
        } else {
            swap.fileDevice = fileSystemOf(swap.path);
        }
        report.swaps.push_back(std::move(swap));
    }
    return true;
}

void LinuxStorageUsage::readExports(StorageUsageReport& report) const {
    // The first list that exists is the export table; a system that serves no NFS has none.
    for (const std::string& path : exportLists_) {
        std::ifstream list(path);
        if (!list) {
            continue;
        }
        std::string line;
        while (std::getline(list, line)) {
            const std::size_t end = line.find_first_of(" \t");
            if (line.empty() || line.front() != '/' || end == 0) {
                continue; // comments and blank lines
            }
            std::string folder = decodeOctalEscapes(std::string_view(line).substr(0, end));
            if (report.nfsExports.empty() || report.nfsExports.back() != folder) {
                report.nfsExports.push_back(std::move(folder)); // one line per client
            }
        }
        return;
    }
}

} // namespace quaylet
