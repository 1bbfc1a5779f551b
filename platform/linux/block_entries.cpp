// DeviceTreeBuilder, block part: storage devices, whole-disk and partition media, disk images,
// and volumes stacked on other block devices (device-mapper, md).
#include <algorithm>

#include "platform/linux/device_tree_builder.h"
#include "platform/linux/sysfs_reader.h"

namespace quaylet {
namespace {

constexpr std::string_view kVirtualDevices = "/devices/virtual";
constexpr std::string_view kNvmeSubsystems = "/devices/virtual/nvme-subsystem";
constexpr std::string_view kDeletedSuffix = " (deleted)";
constexpr std::int64_t kSectorSize = 512;

PropertyDictionary characteristics(std::string interconnect, std::string location) {
    return PropertyDictionary{{"Physical Interconnect", std::move(interconnect)},
                              {"Physical Interconnect Location", std::move(location)}};
}

} // namespace

void DeviceTreeBuilder::addBlockDevice(const std::string& devicePath, TreeNodeIndex parent,
                                       std::string_view uevent) {
    const std::string_view name = sysfs::baseName(devicePath);
    const bool partition = sysfs::ueventValue(uevent, "DEVTYPE") == "partition";
    TreeNodeIndex holder = parent; // A partition hangs from its whole disk's media.
    if (!partition) {
        holder = sysfs::isSameOrBelow(devicePath, kVirtualDevices)
                     ? virtualDiskParent(devicePath, parent)
                     : storageDeviceFor(parent, devicePath);
    }
    if (holder == kNoTreeNode) {
        return; // An unbound loop device: nothing can be mounted from it.
    }
    const TreeNodeIndex media = addNode(RegistryClass::IOMedia, devicePath, "", holder, name);
    setProperty(media, "BSD Name", std::string(name));
    setProperty(media, "Whole", !partition);
    const auto sectors = sysfs::parseNumber(attribute(devicePath, "size").value_or(""), 10);
    setProperty(media, "Size", static_cast<std::int64_t>(sectors.value_or(0)) * kSectorSize);
    setProperty(media, "BSD Major",
                sysfs::parseNumber(sysfs::ueventValue(uevent, "MAJOR"), 10).value_or(0));
    setProperty(media, "BSD Minor",
                sysfs::parseNumber(sysfs::ueventValue(uevent, "MINOR"), 10).value_or(0));
    facts_[static_cast<std::size_t>(media)].subsystem = "block";
    tree_.mediaByName[std::string(name)] = media;
    attach_[devicePath] = media;
}

// A disk with no hardware below it: a loop device gets a disk image device carrying its
// backing file as "image-path"; a device-mapper or md volume hangs from the media of one of
// its members, so that a walk up from it reaches the hardware.
TreeNodeIndex DeviceTreeBuilder::virtualDiskParent(const std::string& devicePath,
                                                   TreeNodeIndex parent) {
    const std::string_view name = sysfs::baseName(devicePath);
    if (name.starts_with("loop")) {
        auto backingFile = attribute(devicePath, "loop/backing_file");
        if (!backingFile) {
            return kNoTreeNode;
        }
        // The kernel marks a backing file that was deleted; the path it had is still the
        // path that places the image on its volume.
        if (backingFile->ends_with(kDeletedSuffix)) {
            backingFile->resize(backingFile->size() - kDeletedSuffix.size());
        }
        const TreeNodeIndex device =
            addNode(RegistryClass::AppleDiskImageDevice, devicePath, "device", parent, name);
        setProperty(device, "image-path", PropertyData(backingFile->begin(), backingFile->end()));
        setProperty(device, "Protocol Characteristics",
                    characteristics("Virtual Interface", "File"));
        return device;
    }
    if (sysfs::isSameOrBelow(devicePath, kNvmeSubsystems)) {
        if (const TreeNodeIndex controller = nvmeController(devicePath);
            controller != kNoTreeNode) {
            return storageDeviceFor(controller, devicePath);
        }
    }
    if (const TreeNodeIndex member = memberMedia(devicePath); member != kNoTreeNode) {
        return member;
    }
    const TreeNodeIndex device =
        addNode(RegistryClass::IOBlockStorageDevice, devicePath, "device", parent, name);
    setProperty(device, "Protocol Characteristics",
                characteristics("Virtual Interface", "Internal"));
    return device;
}

// One parent only: a member on external storage is preferred, so that a volume spanning an
// external disk is never taken for internal.
TreeNodeIndex DeviceTreeBuilder::memberMedia(const std::string& devicePath) {
    std::vector<std::string> members = sysfs::listDirectory(root_ + devicePath + "/slaves");
    std::sort(members.begin(), members.end(), sysfs::naturalLess);
    TreeNodeIndex chosen = kNoTreeNode;
    for (const std::string& member : members) {
        const std::string memberPath = resolveDeviceLink(devicePath, "slaves/" + member);
        const TreeNodeIndex media = memberPath.empty() ? 0 : attachPoint(memberPath, "block");
        if (media == 0) {
            continue;
        }
        if (facts_[static_cast<std::size_t>(media)].external) {
            return media;
        }
        if (chosen == kNoTreeNode) {
            chosen = media;
        }
    }
    return chosen;
}

// A namespace reached over several controllers (native NVMe multipath) lives in the virtual
// subsystem's folder, which links the controllers (nvmeK) it is reached through. It hangs from
// one of them, as a member hangs a stacked volume: one on external storage is preferred.
TreeNodeIndex DeviceTreeBuilder::nvmeController(const std::string& devicePath) {
    const std::string subsystem(sysfs::parentPath(devicePath));
    std::vector<std::string> entries = sysfs::listDirectory(root_ + subsystem);
    std::sort(entries.begin(), entries.end(), sysfs::naturalLess);
    TreeNodeIndex chosen = kNoTreeNode;
    for (const std::string& entry : entries) {
        const std::string_view number =
            std::string_view(entry).substr(std::min<std::size_t>(4, entry.size()));
        if (!entry.starts_with("nvme") || !sysfs::parseNumber(number, 10)) {
            continue;
        }
        const std::string controllerPath = resolveDeviceLink(subsystem, entry);
        const TreeNodeIndex controller = controllerPath.empty() ? 0 : attachPoint(controllerPath);
        if (controller == 0 || controllerPath.starts_with(kVirtualDevices)) {
            continue;
        }
        if (facts_[static_cast<std::size_t>(controller)].external) {
            return controller;
        }
        if (chosen == kNoTreeNode) {
            chosen = controller;
        }
    }
    return chosen;
}

// The disk's own device (a SCSI device, an NVMe controller) becomes its block storage device;
// when that device already is another kind of entry, a storage entry is put below it.
TreeNodeIndex DeviceTreeBuilder::storageDeviceFor(TreeNodeIndex diskParent,
                                                  const std::string& diskPath) {
    TreeNode& device = tree_.nodes[static_cast<std::size_t>(diskParent)];
    if (diskParent != 0 && device.registryClass == RegistryClass::IOService) {
        const std::string& subsystem = facts_[static_cast<std::size_t>(diskParent)].subsystem;
        device.registryClass = subsystem == "scsi"   ? RegistryClass::IOBlockStorageServices
                               : subsystem == "nvme" ? RegistryClass::IONVMeBlockStorageDevice
                                                     : RegistryClass::IOBlockStorageDevice;
        setProperty(diskParent, "Protocol Characteristics",
                    protocolCharacteristics(diskParent, diskPath));
        return diskParent;
    }
    if (registryClassConformsTo(device.registryClass, "IOBlockStorageDevice")) {
        return diskParent;
    }
    const std::string devicePath = device.devicePath;
    if (const auto found = tree_.nodeByKey.find(devicePath + "#storage");
        found != tree_.nodeByKey.end()) {
        return found->second;
    }
    const TreeNodeIndex storage = addNode(RegistryClass::IOBlockStorageDevice, devicePath,
                                          "storage", diskParent, sysfs::baseName(devicePath));
    setProperty(storage, "Protocol Characteristics", protocolCharacteristics(storage, diskPath));
    return storage;
}

PropertyDictionary DeviceTreeBuilder::protocolCharacteristics(TreeNodeIndex storage,
                                                              const std::string& diskPath) const {
    const NodeFacts& facts = facts_[static_cast<std::size_t>(storage)];
    std::string interconnect = "Other";
    if (facts.overUsb) {
        interconnect = "USB";
    } else if (facts.subsystem == "nvme") {
        interconnect = "PCI-Express";
    } else if (facts.subsystem == "scsi") {
        interconnect = diskPath.find("/ata") != std::string::npos ? "SATA" : "SCSI";
    } else if (facts.subsystem == "mmc") {
        interconnect = "Secure Digital";
    } else if (facts.subsystem == "virtio") {
        interconnect = "Virtio";
    }
    return characteristics(std::move(interconnect), facts.external ? "External" : "Internal");
}

} // namespace quaylet
