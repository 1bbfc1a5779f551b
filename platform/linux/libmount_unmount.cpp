// Unmounting one mount in-process through libmount's context, never forced and never lazy.
#include "platform/linux/libmount_unmount.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "platform/linux/libmount_handles.h"

namespace quaylet {
namespace {

/// Whether the mount the kernel finds at `mount.target` now is `mount`. The table was read
/// once for the whole disk; a mount made since then at the same path must not be taken.
bool isStillUppermost(const BlockMount& mount) {
    struct statx status {};
    if (mount.mountId == 0 ||
        ::statx(AT_FDCWD, mount.target.c_str(), AT_NO_AUTOMOUNT | AT_SYMLINK_NOFOLLOW, STATX_MNT_ID,
                &status) != 0 ||
        (status.stx_mask & STATX_MNT_ID) == 0) {
        return true; // no way to tell: the table's word stands
    }
    return status.stx_mnt_id == static_cast<std::uint64_t>(mount.mountId);
}

/// The error of a failed mnt_context_umount: the system call's, or libmount's own.
std::error_code umountError(libmnt_context* context, int result) {
    if (mnt_context_syscall_called(context) != 0 && mnt_context_get_syscall_errno(context) != 0) {
        return {mnt_context_get_syscall_errno(context), std::generic_category()};
    }
    const int code = result < 0 ? -result : result;
    // libmount's own codes (MNT_ERR_*) start at 5000; they say nothing errno can.
    if (code > 0 && code < 4096) {
        return {code, std::generic_category()};
    }
    return std::make_error_code(std::errc::io_error);
}

} // namespace

std::error_code unmountThroughLibmount(const BlockMount& mount) {
    if (!isStillUppermost(mount)) {
        return std::make_error_code(std::errc::device_or_resource_busy);
    }
    const LibmountContextPtr context(mnt_new_context());
    if (!context) {
        return std::make_error_code(std::errc::not_enough_memory);
    }
    // A busy file system stays mounted and says so: never MNT_FORCE, never MNT_DETACH.
    mnt_context_enable_force(context.get(), 0);
    mnt_context_enable_lazy(context.get(), 0);
    if (mnt_context_set_target(context.get(), mount.target.c_str()) != 0) {
        return std::make_error_code(std::errc::not_enough_memory);
    }
    const int result = mnt_context_umount(context.get());
    if (result != 0) {
        return umountError(context.get(), result);
    }
    if (mnt_context_helper_executed(context.get()) != 0 &&
        mnt_context_get_helper_status(context.get()) != 0) {
        return std::make_error_code(std::errc::io_error); // the umount helper failed
    }
    return {};
}

} // namespace quaylet
