// LinuxFileManager: volume names as the Linux desktop shows them (file system labels).
#include "platform/linux/linux_file_manager.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>

#include <blkid/blkid.h>
#include <fcntl.h>
#include <libudev.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "platform/linux/hex_escapes.h"
#include "platform/unique_fd.h"

namespace quaylet {
namespace {

struct UdevUnref {
    void operator()(udev* context) const { udev_unref(context); }
};
struct DeviceUnref {
    void operator()(udev_device* device) const { udev_device_unref(device); }
};
struct ProbeFree {
    void operator()(blkid_struct_probe* probe) const { blkid_free_probe(probe); }
};

/// The label udev recorded when it probed block device `number`.
std::optional<std::string> udevLabel(dev_t number) {
    // udev keeps what it learnt of a device (the label among it) in a database file named after
    // the device's number; the kernel's own properties never carry a label. Without that file
    // there is no label to ask for, and building a udev device (a dozen sysfs reads) is skipped.
    std::array<char, 64> record{};
    std::snprintf(record.data(), record.size(), "/run/udev/data/b%u:%u", major(number),
                  minor(number));
    if (::access(record.data(), F_OK) != 0) {
        return std::nullopt;
    }
    const std::unique_ptr<udev, UdevUnref> context(udev_new());
    if (!context) {
        return std::nullopt;
    }
    const std::unique_ptr<udev_device, DeviceUnref> device(
        udev_device_new_from_devnum(context.get(), 'b', number));
    if (!device) {
        return std::nullopt;
    }
    if (const char* encoded = udev_device_get_property_value(device.get(), "ID_FS_LABEL_ENC")) {
        return decodeHexEscapes(encoded);
    }
    if (const char* label = udev_device_get_property_value(device.get(), "ID_FS_LABEL")) {
        return std::string(label);
    }
    return std::nullopt;
}

/// The label the mounted file system at `mountPoint` reports itself, from its superblock in
/// memory: no device is read. Only when the directory there is the root of file system
/// `device`, so that a mount gone since the table was read never names what lies beneath.
std::optional<std::string> mountedLabel(const std::string& mountPoint, dev_t device) {
    const UniqueFd directory(::open(mountPoint.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat status {};
    if (!directory || ::fstat(directory.get(), &status) != 0 || status.st_dev != device) {
        return std::nullopt;
    }
    std::array<char, FSLABEL_MAX> label{};
    if (::ioctl(directory.get(), FS_IOC_GETFSLABEL, label.data()) != 0) {
        return std::nullopt; // a file system that does not report its label this way
    }
    return std::string(label.data(), ::strnlen(label.data(), label.size()));
}

/// The label in the superblock of the file system at `source` (a device or an image file).
std::optional<std::string> superblockLabel(const std::string& source) {
    struct stat status {};
    if (!source.starts_with('/') || ::stat(source.c_str(), &status) != 0 ||
        !(S_ISBLK(status.st_mode) || S_ISREG(status.st_mode))) {
        return std::nullopt;
    }
    const std::unique_ptr<blkid_struct_probe, ProbeFree> probe(
        blkid_new_probe_from_filename(source.c_str()));
    if (!probe) {
        return std::nullopt;
    }
    blkid_probe_enable_superblocks(probe.get(), 1);
    blkid_probe_set_superblocks_flags(probe.get(), BLKID_SUBLKS_LABEL);
    const char* label = nullptr;
    if (blkid_do_safeprobe(probe.get()) != 0 ||
        blkid_probe_lookup_value(probe.get(), "LABEL", &label, nullptr) != 0 || label == nullptr) {
        return std::nullopt;
    }
    return std::string(label);
}

} // namespace

std::optional<std::string> LinuxFileManager::displayName(const MountEntry& mount) const {
    std::optional<std::string> label;
    // Major 0 is the kernel's anonymous devices (tmpfs, proc, overlay): udev knows none.
    if (major(mount.deviceNumber) != 0) {
        label = udevLabel(mount.deviceNumber);
    }
    if ((!label || label->empty()) && mount.deviceNumber != 0) {
        label = mountedLabel(mount.mountPoint, mount.deviceNumber);
    }
    if (!label || label->empty()) {
        label = superblockLabel(mount.devicePath);
    }
    if (!label || label->empty()) {
        return std::nullopt;
    }
    return label;
}

} // namespace quaylet
