// The mount table read for the disk tool: sources, targets, device numbers, ids, udisks marks.
#include "platform/linux/block_mount_table.h"

#include <string_view>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "platform/linux/libmount_handles.h"

namespace quaylet {
namespace {

/// The block device a mount comes from: its source node when that is one, else the device
/// number the kernel reports when it is not an anonymous one (major 0).
std::uint64_t blockDeviceOf(libmnt_fs* fs) {
    const std::string_view source = libmountText(mnt_fs_get_source(fs));
    struct stat status {};
    if (source.starts_with('/') && ::stat(std::string(source).c_str(), &status) == 0 &&
        S_ISBLK(status.st_mode)) {
        return status.st_rdev;
    }
    const dev_t number = mnt_fs_get_devno(fs);
    return major(number) != 0 ? number : 0;
}

bool isUdisksMount(libmnt_fs* fs) {
    char* value = nullptr;
    std::size_t size = 0;
    const char* userOptions = mnt_fs_get_user_options(fs);
    if (userOptions != nullptr &&
        mnt_optstr_get_option(userOptions, "uhelper", &value, &size) == 0 &&
        std::string_view(value, size) == "udisks2") {
        return true;
    }
    // udisks mounts under /media/USER (Debian) or /run/media/USER.
    const std::string_view target = libmountText(mnt_fs_get_target(fs));
    return target.starts_with("/media/") || target.starts_with("/run/media/");
}

} // namespace

std::vector<BlockMount> readBlockMounts(const std::string& mountInfoPath) {
    std::vector<BlockMount> result;
    LibmountTablePtr table(mnt_new_table());
    const LibmountIteratorPtr iterator(mnt_new_iter(MNT_ITER_FORWARD));
    if (!table || !iterator || mnt_table_parse_mtab(table.get(), mountInfoPath.c_str()) != 0) {
        return result;
    }
    libmnt_fs* fs = nullptr;
    while (mnt_table_next_fs(table.get(), iterator.get(), &fs) == 0) {
        result.push_back(BlockMount{libmountText(mnt_fs_get_source(fs)),
                                    libmountText(mnt_fs_get_target(fs)), blockDeviceOf(fs),
                                    isUdisksMount(fs), mnt_fs_get_devno(fs), mnt_fs_get_id(fs)});
    }
    return result;
}

} // namespace quaylet
