// Writing a volume's cache out early with syncfs(2).
#include "platform/linux/syncfs_volume_flush.h"

#include <cerrno>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/linux/sysfs_block_devices.h"
#include "platform/unique_fd.h"

namespace quaylet {

std::error_code SyncfsVolumeFlush::flushVolume(const std::string& mountPoint,
                                               std::uint64_t deviceNumber) {
    // O_PATH would not do: syncfs needs a descriptor opened for real. The directory is opened
    // without following a last symbolic link, so nothing but the mount point itself is synced.
    const UniqueFd directory(
        ::open(mountPoint.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    if (!directory) {
        return {errno, std::generic_category()};
    }
    struct stat status {};
    if (::fstat(directory.get(), &status) != 0) {
        return {errno, std::generic_category()};
    }
    if (deviceNumber != 0 && status.st_dev != deviceNumber) {
        return {}; // another file system is there now: not ours to flush
    }
    if (::syncfs(directory.get()) != 0) {
        return {errno, std::generic_category()};
    }
    return {};
}

std::string SyncfsVolumeFlush::unmountGroup(std::uint64_t deviceNumber) const {
    return SysfsBlockDevices(sysRoot_).wholeDiskName(deviceNumber).value_or(std::string());
}

} // namespace quaylet
