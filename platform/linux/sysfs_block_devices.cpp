// Block device facts from sysfs: class/block/<name>, dev/block/<major>:<minor>.
#include "platform/linux/sysfs_block_devices.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>

#include <sys/sysmacros.h>

namespace quaylet {
namespace {

namespace fs = std::filesystem;

bool folderHasEntries(const fs::path& folder) {
    std::error_code error;
    const fs::directory_iterator it(folder, error);
    return !error && it != fs::directory_iterator();
}

/// The device's own folder in the sysfs tree, links resolved; nullopt when there is none.
std::optional<fs::path> deviceFolder(const std::string& sysRoot, std::uint64_t device) {
    if (device == 0) {
        return std::nullopt;
    }
    const fs::path link = fs::path(sysRoot) / "dev/block" /
                          (std::to_string(major(device)) + ":" + std::to_string(minor(device)));
    std::error_code error;
    fs::path resolved = fs::canonical(link, error);
    if (error) {
        return std::nullopt;
    }
    return resolved;
}

} // namespace

SysfsBlockDevices::SysfsBlockDevices(std::string sysRoot) : sysRoot_(std::move(sysRoot)) {}

std::optional<std::string> SysfsBlockDevices::deviceName(std::uint64_t device) const {
    const std::optional<fs::path> folder = deviceFolder(sysRoot_, device);
    if (!folder) {
        return std::nullopt;
    }
    return folder->filename().string();
}

std::optional<std::string> SysfsBlockDevices::wholeDiskName(std::uint64_t device) const {
    const std::optional<fs::path> folder = deviceFolder(sysRoot_, device);
    if (!folder) {
        return std::nullopt;
    }
    // A partition's folder lies inside its disk's folder and holds a "partition" file.
    std::error_code error;
    if (fs::exists(*folder / "partition", error)) {
        return folder->parent_path().filename().string();
    }
    return folder->filename().string();
}

bool SysfsBlockDevices::hasHolders(const std::string& name) const {
    const fs::path disk = fs::path(sysRoot_) / "class/block" / name;
    if (folderHasEntries(disk / "holders")) {
        return true;
    }
    std::error_code error;
    for (fs::directory_iterator it(disk, error), end; !error && it != end; it.increment(error)) {
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
