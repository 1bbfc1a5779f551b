// The file systems whose answers never wait on another machine or a user-space server.
#include "platform/local_file_systems.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace quaylet {
namespace {

/// File systems the kernel answers for from memory or from the disks beneath other mounts.
constexpr std::array<std::string_view, 26> kKernelFileSystems{
    "binfmt_misc", "bpf",      "cgroup",  "cgroup2",   "configfs",   "debugfs",    "devpts",
    "devtmpfs",    "efivarfs", "fusectl", "hugetlbfs", "mqueue",     "nsfs",       "overlay",
    "pipefs",      "proc",     "pstore",  "ramfs",     "rpc_pipefs", "securityfs", "selinuxfs",
    "sockfs",      "sysfs",    "tmpfs",   "tracefs",   "zfs"};

} // namespace

bool answersLocally(const MountEntry& mount) {
    const std::string_view type = mount.fileSystemType;
    if (type.empty() || (type.starts_with("fuse") && type != "fusectl")) {
        return false; // unknown, or served by a process (fuseblk included)
    }
    if (std::find(kKernelFileSystems.begin(), kKernelFileSystems.end(), type) !=
        kKernelFileSystems.end()) {
        return true;
    }
    // A disk file system; a network one names a server (host:/path, //host/share) instead.
    return mount.devicePath.starts_with("/dev/");
}

bool everyFileSystemAnswersLocally(const std::vector<MountEntry>& mounts) {
    return !mounts.empty() && std::all_of(mounts.begin(), mounts.end(), answersLocally);
}

} // namespace quaylet
