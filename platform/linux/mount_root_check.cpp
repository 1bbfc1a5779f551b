// mountedByPath: whether a volume is mounted at a path, asked of the path rather than the table.
#include "platform/linux/mount_root_check.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "platform/unique_fd.h"

namespace quaylet {

std::optional<bool> mountedByPath(const std::string& path, std::uint64_t deviceNumber) {
    if (deviceNumber == 0 || path.empty() || path.front() != '/') {
        return std::nullopt;
    }
    // RESOLVE_CACHED fails with EAGAIN where a component is not cached or needs revalidating;
    // O_PATH opens nothing of the file system itself.
    open_how how{};
    how.flags = O_PATH | O_CLOEXEC;
    how.resolve = RESOLVE_CACHED | RESOLVE_NO_MAGICLINKS;
    const UniqueFd file(
        static_cast<int>(::syscall(SYS_openat2, AT_FDCWD, path.c_str(), &how, sizeof how)));
    if (!file) {
        return std::nullopt; // also a kernel without openat2 or RESOLVE_CACHED
    }
    // The device and the mount-root attribute come from the mount, not from the file system;
    // AT_STATX_DONT_SYNC keeps a network or FUSE file system from being asked for the rest.
    struct statx status {};
    if (::statx(file.get(), "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC, STATX_TYPE, &status) != 0 ||
        (status.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) == 0) {
        return std::nullopt;
    }
    if ((status.stx_attributes & STATX_ATTR_MOUNT_ROOT) == 0) {
        return false; // no mount is rooted here, so none of the device lies beneath
    }
    if (makedev(status.stx_dev_major, status.stx_dev_minor) == deviceNumber) {
        return true; // the device's mount is the uppermost at the path
    }
    return std::nullopt;
}

} // namespace quaylet
