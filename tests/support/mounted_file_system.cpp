// Test mounts: mkfs.ext2, mount(2) and a plain umount2(2) in every outcome.
#include "tests/support/mounted_file_system.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <utility>

#include <sys/mount.h>

#include "platform/linux/libmount_mount_table.h"
#include "platform/linux/posix_process_runner.h"

namespace quaylet::testing {

bool makeFileSystem(const std::string& device) {
    PosixProcessRunner runner;
    return !runner.run({"/sbin/mkfs.ext2", "-q", "-F", device}, [](std::string_view) {});
}

std::optional<MountedFileSystem> MountedFileSystem::mount(const std::string& device,
                                                          const std::string& mountPoint,
                                                          std::string& error) {
    std::error_code fsError;
    std::filesystem::create_directories(mountPoint, fsError);
    if (::mount(device.c_str(), mountPoint.c_str(), "ext2", 0, nullptr) != 0) {
        error = "mounting " + device + " failed: " + std::strerror(errno);
        return std::nullopt;
    }
    return MountedFileSystem(device, mountPoint);
}

MountedFileSystem::MountedFileSystem(std::string device, std::string mountPoint)
    : device_(std::move(device)), mountPoint_(std::move(mountPoint)) {}

MountedFileSystem::MountedFileSystem(MountedFileSystem&& other) noexcept
    : device_(std::exchange(other.device_, {})), mountPoint_(std::exchange(other.mountPoint_, {})) {
}

MountedFileSystem::~MountedFileSystem() {
    if (mountPoint_.empty() || !isMounted()) {
        return;
    }
    if (::umount2(mountPoint_.c_str(), 0) != 0) {
        std::cerr << "note: could not unmount " << mountPoint_ << ": " << std::strerror(errno)
                  << " (the private mount namespace releases it at exit)\n";
    }
}

bool MountedFileSystem::isMounted() const {
    const std::vector<MountEntry> entries = LibmountMountTable().entries();
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (it->mountPoint == mountPoint_) {
            return it->devicePath == device_;
        }
    }
    return false;
}

} // namespace quaylet::testing
