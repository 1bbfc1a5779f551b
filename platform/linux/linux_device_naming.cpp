// LinuxDeviceNaming: from a Linux mount source (/dev/sdb1, /dev/mapper/x) to registry entries.
#include "platform/linux/linux_device_naming.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "platform/linux/sysfs_reader.h"

namespace quaylet {
namespace {

constexpr std::string_view kDevPrefix = "/dev/";
constexpr std::string_view kMapperPrefix = "mapper/";

} // namespace

LinuxDeviceNaming::LinuxDeviceNaming(std::string sysfsRoot)
    : root_(sysfs::normalRoot(std::move(sysfsRoot))) {}

RegistryHandle LinuxDeviceNaming::wholeDiskService(Registry& registry,
                                                   std::string_view devicePath) const {
    const auto names = blockDeviceNames(devicePath);
    return names ? registry.serviceForBsdName(names->wholeDisk) : kNoRegistryObject;
}

RegistryHandle LinuxDeviceNaming::volumeService(Registry& registry,
                                                std::string_view devicePath) const {
    const auto names = blockDeviceNames(devicePath);
    return names ? registry.serviceForBsdName(names->volume) : kNoRegistryObject;
}

std::optional<BlockDeviceNames>
LinuxDeviceNaming::blockDeviceNames(std::string_view devicePath) const {
    // Only absolute paths can be device nodes: "tmpfs", "proc" or "server:/export" are not.
    if (devicePath.empty() || devicePath.front() != '/') {
        return std::nullopt;
    }
    // A node named after its kernel device (/dev/sdb1) is that device: the kernel names the
    // nodes. Taking the name first keeps a copied tree from meeting this machine's nodes.
    if (devicePath.starts_with(kDevPrefix)) {
        const std::string_view name = devicePath.substr(kDevPrefix.size());
        if (!name.empty() && name.find('/') == std::string_view::npos) {
            if (auto names = namesOfBlockDirectory(root_ + "/class/block", std::string(name))) {
                return names;
            }
        }
    }
    if (auto names = namesByDeviceNumber(std::string(devicePath))) {
        return names;
    }
    return namesByMapperName(devicePath);
}

std::optional<BlockDeviceNames>
LinuxDeviceNaming::namesByDeviceNumber(const std::string& devicePath) const {
    struct stat status {};
    if (::stat(devicePath.c_str(), &status) != 0 || !S_ISBLK(status.st_mode)) {
        return std::nullopt;
    }
    const std::string number =
        std::to_string(major(status.st_rdev)) + ":" + std::to_string(minor(status.st_rdev));
    return namesOfBlockDirectory(root_ + "/dev/block", number);
}

std::optional<BlockDeviceNames>
LinuxDeviceNaming::namesByMapperName(std::string_view devicePath) const {
    const std::string prefix = std::string(kDevPrefix) + std::string(kMapperPrefix);
    if (!devicePath.starts_with(prefix)) {
        return std::nullopt;
    }
    const auto kernelName = deviceMapperDevice(devicePath.substr(prefix.size()));
    if (!kernelName) {
        return std::nullopt;
    }
    return namesOfBlockDirectory(root_ + "/class/block", *kernelName);
}

// The link leads to the block device's directory; a partition's directory lies inside its
// whole disk's.
std::optional<BlockDeviceNames>
LinuxDeviceNaming::namesOfBlockDirectory(const std::string& linkDirectory,
                                         const std::string& link) const {
    const auto target = sysfs::readLink(linkDirectory + "/" + link);
    if (!target) {
        return std::nullopt;
    }
    const std::string directory = sysfs::resolveLink(linkDirectory, *target);
    BlockDeviceNames names;
    names.volume = std::string(sysfs::baseName(directory));
    names.wholeDisk = sysfs::exists(directory + "/partition")
                          ? std::string(sysfs::baseName(sysfs::parentPath(directory)))
                          : names.volume;
    return names;
}

std::optional<std::string>
LinuxDeviceNaming::deviceMapperDevice(std::string_view mapperName) const {
    const std::string blocks = root_ + "/class/block";
    for (const std::string& name : sysfs::listDirectory(blocks)) {
        if (name.starts_with("dm-") &&
            sysfs::readAttribute(blocks + "/" + name + "/dm/name") == mapperName) {
            return name;
        }
    }
    return std::nullopt;
}

} // namespace quaylet
