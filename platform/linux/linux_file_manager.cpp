// LinuxFileManager: volume names as the Linux desktop shows them (file system labels).
#include "platform/linux/linux_file_manager.h"

#include <memory>

#include <blkid/blkid.h>
#include <libmount/libmount.h>
#include <libudev.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace quaylet {
namespace {

struct TableUnref {
    void operator()(libmnt_table* table) const { mnt_unref_table(table); }
};
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
        return decodeUdevEscapes(encoded);
    }
    if (const char* label = udev_device_get_property_value(device.get(), "ID_FS_LABEL")) {
        return std::string(label);
    }
    return std::nullopt;
}

/// The label in the superblock of the file system at `source` (a device or an image file).
std::optional<std::string> superblockLabel(const char* source) {
    struct stat status {};
    if (source == nullptr || source[0] != '/' || ::stat(source, &status) != 0 ||
        !(S_ISBLK(status.st_mode) || S_ISREG(status.st_mode))) {
        return std::nullopt;
    }
    const std::unique_ptr<blkid_struct_probe, ProbeFree> probe(
        blkid_new_probe_from_filename(source));
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

int hexValue(char digit) {
    if (digit >= '0' && digit <= '9') {
        return digit - '0';
    }
    if (digit >= 'a' && digit <= 'f') {
        return digit - 'a' + 10;
    }
    if (digit >= 'A' && digit <= 'F') {
        return digit - 'A' + 10;
    }
    return -1;
}

} // namespace

std::string decodeUdevEscapes(const std::string& text) {
    std::string decoded;
    for (std::size_t index = 0; index < text.size(); ++index) {
        if (text[index] == '\\' && index + 3 < text.size() && text[index + 1] == 'x') {
            const int high = hexValue(text[index + 2]);
            const int low = hexValue(text[index + 3]);
            if (high >= 0 && low >= 0) {
                decoded += static_cast<char>(high * 16 + low);
                index += 3;
                continue;
            }
        }
        decoded += text[index];
    }
    return decoded;
}

LinuxFileManager::LinuxFileManager(std::string mountInfo) : mountInfo_(std::move(mountInfo)) {}

std::optional<std::string> LinuxFileManager::displayName(const std::string& path) const {
    const std::unique_ptr<libmnt_table, TableUnref> table(
        mnt_new_table_from_file(mountInfo_.c_str()));
    if (!table) {
        return std::nullopt;
    }
    // The last mount on a directory is the one visible there.
    libmnt_fs* fs = mnt_table_find_target(table.get(), path.c_str(), MNT_ITER_BACKWARD);
    if (fs == nullptr) {
        return std::nullopt;
    }
    std::optional<std::string> label;
    if (const dev_t number = mnt_fs_get_devno(fs); major(number) != 0) {
        label = udevLabel(number);
    }
    if (!label || label->empty()) {
        label = superblockLabel(mnt_fs_get_srcpath(fs));
    }
    if (!label || label->empty()) {
        return std::nullopt;
    }
    return label;
}

} // namespace quaylet
