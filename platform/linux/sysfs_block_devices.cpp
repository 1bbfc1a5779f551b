// Block device facts from sysfs: class/block/<name>, dev/block/<major>:<minor>.
#include "platform/linux/sysfs_block_devices.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>

#include "platform/device_number.h"
#include "platform/linux/sysfs_reader.h"

namespace quaylet {
namespace {

namespace fs = std::filesystem;

bool folderHasEntries(const fs::path& folder) {
    std::error_code error;
    const fs::directory_iterator it(folder, error);
    return !error && it != fs::directory_iterator();
}

} // namespace

SysfsBlockDevices::SysfsBlockDevices(std::string sysRoot)
    : sysRoot_(sysfs::normalRoot(std::move(sysRoot))) {}

std::optional<BlockDeviceNames> SysfsBlockDevices::namesOfNumber(std::uint64_t device) const {
    if (device == 0) {
        return std::nullopt;
    }
    return namesOfLink(sysRoot_ + "/dev/block", deviceNumberText(device));
}

std::optional<BlockDeviceNames> SysfsBlockDevices::namesOfKernelName(std::string_view name) const {
    if (name.empty() || name.find('/') != std::string_view::npos || name == "." || name == "..") {
        return std::nullopt;
    }
    return namesOfLink(sysRoot_ + "/class/block", name);
}

// The link leads to the block device's directory; a partition's directory lies inside its
// whole disk's and holds a "partition" attribute. The kernel's links lead to real directories,
// so they resolve by their text, without a system call per component.
std::optional<BlockDeviceNames> SysfsBlockDevices::namesOfLink(const std::string& linkDirectory,
                                                               std::string_view link) const {
    std::string linkPath = linkDirectory + "/" + std::string(link);
    if (!keepingLinks_) {
        return readNamesOfLink(linkPath);
    }
    if (const auto kept = keptLinks_.find(linkPath); kept != keptLinks_.end()) {
        return kept->second;
    }
    auto names = readNamesOfLink(linkPath);
    keptLinks_.emplace(std::move(linkPath), names);
    return names;
}

std::optional<BlockDeviceNames>
SysfsBlockDevices::readNamesOfLink(const std::string& linkPath) const {
    const auto target = sysfs::readLink(linkPath);
    if (!target) {
        return std::nullopt;
    }
    const std::string directory = sysfs::resolveLink(sysfs::parentPath(linkPath), *target);
    BlockDeviceNames names;
    names.volume = std::string(sysfs::baseName(directory));
    names.wholeDisk = sysfs::exists(directory + "/partition")
                          ? std::string(sysfs::baseName(sysfs::parentPath(directory)))
                          : names.volume;
    return names;
}

std::optional<std::string>
SysfsBlockDevices::deviceMapperDevice(std::string_view mapperName) const {
    const std::string blocks = sysRoot_ + "/class/block";
    for (const std::string& name : sysfs::listDirectory(blocks)) {
        if (name.starts_with("dm-") &&
            sysfs::readAttribute(blocks + "/" + name + "/dm/name") == mapperName) {
            return name;
        }
    }
    return std::nullopt;
}

std::optional<std::uint64_t> SysfsBlockDevices::deviceNumber(std::string_view name) const {
    if (!namesOfKernelName(name)) {
        return std::nullopt;
    }
    const auto text = sysfs::readAttribute(sysRoot_ + "/class/block/" + std::string(name) + "/dev");
    if (!text) {
        return std::nullopt;
    }
    return parseDeviceNumber(*text);
}

std::optional<std::string> SysfsBlockDevices::deviceName(std::uint64_t device) const {
    const auto names = namesOfNumber(device);
    return names ? std::optional(names->volume) : std::nullopt;
}

std::optional<std::string> SysfsBlockDevices::wholeDiskName(std::uint64_t device) const {
    const auto names = namesOfNumber(device);
    return names ? std::optional(names->wholeDisk) : std::nullopt;
}

bool SysfsBlockDevices::hasHolders(const std::string& name) const {
    const fs::path disk = fs::path(sysRoot_) / "class/block" / name;
    if (folderHasEntries(disk / "holders")) {
        return true;
    }
    std::error_code error;
    for (fs::directory_iterator it(disk, error), end; !error && it != end; it.increment(error)) {
        // The kernel names a partition after its disk (sdb1, nvme0n1p1): the disk's own
        // attributes need no look.
        if (!it->path().filename().native().starts_with(name)) {
            continue;
        }
        std::error_code ignored;
        if (fs::exists(it->path() / "partition", ignored) &&
            folderHasEntries(it->path() / "holders")) {
            return true;
        }
    }
    return false;
}

bool SysfsBlockDevices::isLoopDevice(const std::string& name) const {
    std::error_code error;
    return name.starts_with("loop") &&
           fs::exists(fs::path(sysRoot_) / "class/block" / name / "dev", error);
}

std::optional<std::string> SysfsBlockDevices::loopBackingFile(const std::string& name) const {
    std::ifstream file(fs::path(sysRoot_) / "class/block" / name / "loop/backing_file");
    if (!file) {
        return std::nullopt;
    }
    std::string path((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (!path.empty() && path.back() == '\n') {
        path.pop_back();
    }
    return path;
}

} // namespace quaylet
