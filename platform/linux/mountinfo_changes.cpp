// Changes of the kernel's mount table, told by poll on an open mountinfo file.
#include "platform/linux/mountinfo_changes.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <poll.h>
#include <sys/vfs.h>

namespace quaylet {

std::unique_ptr<MountinfoChanges> MountinfoChanges::open(const std::string& mountInfoPath) {
    UniqueFd file(::open(mountInfoPath.c_str(), O_RDONLY | O_CLOEXEC));
    struct statfs fileSystem {};
    if (!file || ::fstatfs(file.get(), &fileSystem) != 0 || fileSystem.f_type != PROC_SUPER_MAGIC) {
        return nullptr;
    }
    // The kernel counts from the moment of opening: the first poll tells of changes since.
    return std::unique_ptr<MountinfoChanges>(new MountinfoChanges(std::move(file)));
}

bool MountinfoChanges::changedSinceLastAsked() {
    pollfd watched{file_.get(), POLLPRI, 0};
    if (::poll(&watched, 1, 0) < 0) {
        return true;
    }
    return (watched.revents & (POLLPRI | POLLERR | POLLNVAL)) != 0;
}

} // namespace quaylet
