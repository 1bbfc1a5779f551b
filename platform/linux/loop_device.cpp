// Loop device detach through an exclusive open and LOOP_CLR_FD.
#include "platform/linux/loop_device.h"

#include <cerrno>

#include <fcntl.h>
#include <linux/loop.h>
#include <sys/ioctl.h>

#include "platform/unique_fd.h"

namespace quaylet {

std::error_code detachLoopDevice(const std::string& devicePath) {
    // O_EXCL on a block device fails with EBUSY while a file system or a stacked device
    // claims it.
    const UniqueFd device(::open(devicePath.c_str(), O_RDONLY | O_EXCL | O_CLOEXEC));
    if (!device) {
        return {errno, std::system_category()};
    }
    if (::ioctl(device.get(), LOOP_CLR_FD, 0) != 0) {
        return {errno, std::system_category()};
    }
    return {};
}

} // namespace quaylet
