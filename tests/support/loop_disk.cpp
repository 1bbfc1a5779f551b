// Loop disks for real-system tests: losetup and partx attach, sfdisk partitions, mkfs.ext2 and
// mount(2) make the file systems, a plain umount2(2) and losetup --detach undo them.
#include "tests/support/loop_disk.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <thread>
#include <utility>

#include <sys/mount.h>

#include "platform/linux/libmount_mount_table.h"
#include "platform/linux/posix_process_runner.h"
#include "platform/linux/sysfs_block_devices.h"
#include "tests/support/child_process.h"

namespace quaylet::testing {
namespace {

std::string runForFirstLine(const std::vector<std::string>& argv) {
    PosixProcessRunner runner;
    std::string first;
    runner.run(argv, [&first](std::string_view line) {
        if (first.empty()) {
            first = line.substr(0, line.find('\n'));
        }
    });
    return first;
}

/// Writes a DOS partition table of `count` equal partitions onto `imageFile`.
bool writePartitionTable(const std::string& imageFile, unsigned sizeMiB, std::size_t count) {
    const std::string script = imageFile + ".sfdisk";
    {
        std::ofstream out(script);
        out << "label: dos\n";
        for (std::size_t i = 0; i < count; ++i) {
            out << (i + 1 < count ? "," + std::to_string((sizeMiB - 1) / count) + "M\n" : ",\n");
        }
    }
    auto sfdisk = ChildProcess::start({"/sbin/sfdisk", "--quiet", imageFile}, {}, {}, script);
    const bool written = sfdisk && sfdisk->wait() == 0;
    std::error_code ignored;
    std::filesystem::remove(script, ignored);
    return written;
}

/// Creates an empty file of `sizeMiB` mebibytes at `path`; returns whether it worked.
bool createImageFile(const std::string& path, unsigned sizeMiB) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) {
        return false;
    }
    file.close();
    std::error_code error;
    std::filesystem::resize_file(path, std::uintmax_t{sizeMiB} * 1024 * 1024, error);
    return !error;
}

} // namespace

std::optional<AttachedLoopDevice>
AttachedLoopDevice::attach(const std::string& imageFile, bool withPartitions, std::string& error) {
    std::error_code fsError;
    const std::string image = std::filesystem::canonical(imageFile, fsError).string();
    if (fsError) {
        error = "no image file " + imageFile;
        return std::nullopt;
    }
    std::vector<std::string> argv{"/sbin/losetup", "--find", "--show"};
    if (withPartitions) {
        argv.emplace_back("--partscan");
    }
    argv.push_back(image);
    const std::string device = runForFirstLine(argv);
    if (!device.starts_with("/dev/loop")) {
        error = "losetup could not attach " + image;
        return std::nullopt;
    }
    AttachedLoopDevice loop(device, image);
    // A kernel without partition-table readers leaves the partitions to user space.
    if (withPartitions && !std::filesystem::exists(loop.partitionPath(1), fsError)) {
        runForFirstLine({"/usr/bin/partx", "--add", device});
        if (!std::filesystem::exists(loop.partitionPath(1), fsError)) {
            error = "no partitions appeared on " + device;
            return std::nullopt;
        }
    }
    return loop;
}

AttachedLoopDevice::AttachedLoopDevice(std::string path, std::string imageFile)
    : path_(std::move(path)), imageFile_(std::move(imageFile)) {}

AttachedLoopDevice::AttachedLoopDevice(AttachedLoopDevice&& other) noexcept
    : path_(std::exchange(other.path_, {})), imageFile_(std::exchange(other.imageFile_, {})) {}

AttachedLoopDevice::~AttachedLoopDevice() {
    if (!path_.empty() && isAttached()) {
        runForFirstLine({"/sbin/losetup", "--detach", path_});
    }
}

bool AttachedLoopDevice::isAttached() const {
    const std::string name = std::filesystem::path(path_).filename().string();
    return SysfsBlockDevices().loopBackingFile(name) == imageFile_;
}

bool AttachedLoopDevice::detachesSoon() const {
    for (int tries = 0; tries < 250; ++tries) {
        if (!isAttached()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
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
    if (!mountPoint_.empty() && isMounted() && ::umount2(mountPoint_.c_str(), 0) != 0) {
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

std::unique_ptr<LoopDisk> LoopDisk::create(const std::string& imageFile, unsigned sizeMiB,
                                           const std::vector<std::string>& mountPoints,
                                           std::string& error) {
    const bool partitioned = mountPoints.size() > 1;
    if (!createImageFile(imageFile, sizeMiB) ||
        (partitioned && !writePartitionTable(imageFile, sizeMiB, mountPoints.size()))) {
        error = "cannot create the image " + imageFile;
        return nullptr;
    }
    std::optional<AttachedLoopDevice> loop =
        AttachedLoopDevice::attach(imageFile, partitioned, error);
    if (!loop) {
        return nullptr;
    }
    std::unique_ptr<LoopDisk> disk(new LoopDisk(imageFile, std::move(*loop)));
    disk->mounts_.reserve(mountPoints.size());
    for (std::size_t i = 0; i < mountPoints.size(); ++i) {
        const std::string device =
            partitioned ? disk->loop_.partitionPath(static_cast<int>(i + 1)) : disk->loop_.path();
        PosixProcessRunner().run({"/sbin/mkfs.ext2", "-q", "-F", device}, [](std::string_view) {});
        auto mounted = MountedFileSystem::mount(device, mountPoints[i], error);
        if (!mounted) {
            return nullptr;
        }
        disk->mounts_.push_back(std::move(*mounted));
    }
    return disk;
}

LoopDisk::~LoopDisk() {
    while (!mounts_.empty()) {
        mounts_.pop_back(); // deepest (latest) first
    }
}

} // namespace quaylet::testing
