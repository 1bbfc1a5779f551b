// LinuxDeviceNaming: from a Linux mount source (/dev/sdb1, /dev/mapper/x) to registry entries.
#include "platform/linux/linux_device_naming.h"

#include <algorithm>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace quaylet {
namespace {

constexpr std::string_view kDevPrefix = "/dev/";
constexpr std::string_view kMapperPrefix = "/dev/mapper/";

/// Returns the device number of the block device node at `path`, or nullopt.
std::optional<std::uint64_t> nodeNumber(std::string_view path) {
    struct stat status {};
    if (::stat(std::string(path).c_str(), &status) != 0 || !S_ISBLK(status.st_mode)) {
        return std::nullopt;
    }
    return status.st_rdev;
}

} // namespace

LinuxDeviceNaming::LinuxDeviceNaming(std::string sysfsRoot, MountSourceNodes nodes,
                                     std::string systemRoot)
    : devices_(sysfsRoot), stacks_(sysfsRoot), nodes_(nodes), system_(std::move(systemRoot)) {}

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

std::vector<RegistryHandle> LinuxDeviceNaming::mountedDiskServices(Registry& registry,
                                                                   const MountEntry& mount) const {
    std::vector<RegistryHandle> disks;
    for (const std::string& disk : mountedWholeDisks(mount)) {
        if (const RegistryHandle service = registry.serviceForBsdName(disk)) {
            disks.push_back(service);
        }
    }
    return disks;
}

std::optional<BlockDeviceNames> LinuxDeviceNaming::blockDeviceNames(const MountEntry& mount) const {
    if (auto names = blockDeviceNames(mount.devicePath)) {
        return names;
    }
    // Major 0 is an anonymous number (btrfs, tmpfs, overlay): it names no block device.
    const std::uint64_t number = mount.deviceNumber;
    if (major(number) == 0) {
        return std::nullopt;
    }
    auto names = devices_.namesOfNumber(number);
    if (names && nodes_ == MountSourceNodes::OfThisSystem) {
        // The number is this system's: the copied tree must call it by this system's name.
        const auto systemNames = system_.namesOfNumber(number);
        if (!systemNames || systemNames->volume != names->volume) {
            return std::nullopt;
        }
    }
    return names;
}

std::vector<std::string> LinuxDeviceNaming::mountedWholeDisks(const MountEntry& mount) const {
    std::vector<std::string> disks;
    const auto names = blockDeviceNames(mount);
    if (!names) {
        return disks;
    }
    const std::vector<std::string> leaves = stacks_.leaves(names->volume);
    for (const std::string& leaf : leaves) {
        const auto leafNames = devices_.namesOfKernelName(leaf);
        if (!leafNames) {
            continue;
        }
        disks.push_back(leafNames->wholeDisk);
        // A whole disk reached over several NVMe controllers stands on each path's disk. The
        // volume's own leaves, when it is that disk, were read just above.
        const std::vector<std::string> paths =
            leafNames->wholeDisk == names->volume ? leaves : stacks_.leaves(leafNames->wholeDisk);
        disks.insert(disks.end(), paths.begin(), paths.end());
    }
    if (disks.empty()) {
        disks.push_back(names->wholeDisk);
    }
    std::sort(disks.begin(), disks.end());
    disks.erase(std::unique(disks.begin(), disks.end()), disks.end());
    return disks;
}

std::unique_ptr<DeviceNaming> LinuxDeviceNaming::forOneScan() const {
    auto naming = std::make_unique<LinuxDeviceNaming>(*this);
    naming->keepingNames_ = true;
    naming->devices_.keepLinks();
    naming->system_.keepLinks();
    return naming;
}

std::optional<BlockDeviceNames>
LinuxDeviceNaming::blockDeviceNames(std::string_view devicePath) const {
    if (!keepingNames_) {
        return readBlockDeviceNames(devicePath);
    }
    std::string key(devicePath);
    if (const auto kept = keptNames_.find(key); kept != keptNames_.end()) {
        return kept->second;
    }
    auto names = readBlockDeviceNames(devicePath);
    keptNames_.emplace(std::move(key), names);
    return names;
}

std::optional<BlockDeviceNames>
LinuxDeviceNaming::readBlockDeviceNames(std::string_view devicePath) const {
    // Only absolute paths can be device nodes: "tmpfs", "proc" or "server:/export" are not.
    if (devicePath.empty() || devicePath.front() != '/') {
        return std::nullopt;
    }
    auto names = namesInTree(devicePath);
    if (names && nodes_ == MountSourceNodes::OfThisSystem &&
        !agreesWithSystem(devicePath, *names)) {
        return std::nullopt;
    }
    return names;
}

std::optional<BlockDeviceNames> LinuxDeviceNaming::namesInTree(std::string_view devicePath) const {
    // A node named after its kernel device (/dev/sdb1) is that device: the kernel names the
    // nodes. Taking the name first keeps a copied tree from meeting this machine's nodes.
    if (devicePath.starts_with(kDevPrefix)) {
        if (auto names = devices_.namesOfKernelName(devicePath.substr(kDevPrefix.size()))) {
            return names;
        }
    }
    if (nodes_ != MountSourceNodes::Recorded) {
        if (const auto number = nodeNumber(devicePath)) {
            if (auto names = devices_.namesOfNumber(*number)) {
                return names;
            }
        }
    }
    if (devicePath.starts_with(kMapperPrefix)) {
        if (const auto kernelName =
                devices_.deviceMapperDevice(devicePath.substr(kMapperPrefix.size()))) {
            return devices_.namesOfKernelName(*kernelName);
        }
    }
    return std::nullopt;
}

// The node's number must be the one the tree gives the device, and the running system must
// call that number by the same name: then tree and system speak of one device.
bool LinuxDeviceNaming::agreesWithSystem(std::string_view devicePath,
                                         const BlockDeviceNames& names) const {
    const auto number = nodeNumber(devicePath);
    if (!number || devices_.deviceNumber(names.volume) != number) {
        return false;
    }
    const auto systemNames = system_.namesOfNumber(*number);
    return systemNames && systemNames->volume == names.volume;
}

} // namespace quaylet
