// Loop devices for real-system tests, attached and detached through losetup.
#include "tests/support/attached_loop_device.h"

#include <filesystem>
#include <fstream>
#include <utility>
#include <vector>

#include "platform/linux/posix_process_runner.h"
#include "platform/linux/sysfs_block_devices.h"

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
    }
    if (withPartitions && !std::filesystem::exists(loop.partitionPath(1), fsError)) {
        error = "no partitions appeared on " + device;
        return std::nullopt;
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

std::string AttachedLoopDevice::partitionPath(int number) const {
    return path_ + "p" + std::to_string(number);
}

bool AttachedLoopDevice::isAttached() const {
    return SysfsBlockDevices().loopBackingFile(name()) == imageFile_;
}

bool AttachedLoopDevice::autoClear() const {
    std::ifstream flag("/sys/class/block/" + name() + "/loop/autoclear");
    std::string value;
    flag >> value;
    return value == "1";
}

std::string AttachedLoopDevice::name() const {
    return std::filesystem::path(path_).filename().string();
}

} // namespace quaylet::testing
