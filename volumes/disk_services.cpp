// Whole-disk and volume services, and what the registry says about the storage under them.
#include "volumes/disk_services.h"

#include <algorithm>

#include "platform/registry_walk.h"

namespace quaylet {
namespace {

constexpr const char* kImagePath = "image-path";

bool equalsIgnoringCase(std::string_view text, std::string_view word) {
    return std::equal(text.begin(), text.end(), word.begin(), word.end(), [](char a, char b) {
        const auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
        };
        return lower(a) == lower(b);
    });
}

// The verdict of the block-storage device that decides whether its disk is external.
bool saysExternal(Registry& registry, RegistryHandle storage) {
    const auto characteristics = registry.property(storage, "Protocol Characteristics");
    const PropertyDictionary* table = characteristics ? characteristics->dictionary() : nullptr;
    if (table == nullptr) {
        return false;
    }
    const auto location = table->find("Physical Interconnect Location");
    const std::string* text = location == table->end() ? nullptr : location->second.string();
    return text != nullptr && equalsIgnoringCase(*text, "External");
}

} // namespace

RegistryObject wholeDiskService(Registry& registry, const DeviceNaming& naming,
                                std::string_view devicePath) {
    return RegistryObject(registry, naming.wholeDiskService(registry, devicePath));
}

std::vector<RegistryObject> mountedDiskServices(Registry& registry, const DeviceNaming& naming,
                                                const MountEntry& mount) {
    std::vector<RegistryObject> disks;
    for (const RegistryHandle disk : naming.mountedDiskServices(registry, mount)) {
        disks.emplace_back(registry, disk);
    }
    return disks;
}

RegistryObject volumeService(Registry& registry, const DeviceNaming& naming,
                             std::string_view devicePath) {
    return RegistryObject(registry, naming.volumeService(registry, devicePath));
}

bool isExternalStorage(Registry& registry, RegistryHandle disk) {
    if (disk == kNoRegistryObject) {
        return false;
    }
    RegistryWalk walk(registry, disk);
    while (const RegistryHandle ancestor = walk.up()) {
        // Only the nearest storage device counts: it decides, whatever it says.
        if (registry.conformsTo(ancestor, "IOBlockStorageDevice")) {
            return saysExternal(registry, ancestor);
        }
        const auto image = registry.property(ancestor, kImagePath);
        if (image && image->data() == nullptr) {
            return false;
        }
    }
    return false;
}

bool diskImagePath(Registry& registry, RegistryHandle volume, std::string& imagePath) {
    imagePath.clear();
    if (volume == kNoRegistryObject) {
        return false;
    }
    RegistryWalk walk(registry, volume);
    while (const RegistryHandle ancestor = walk.up()) {
        const auto image = registry.property(ancestor, kImagePath);
        if (!image) {
            continue;
        }
        // The nearest "image-path" decides, even when it is empty or not data.
        const PropertyData* bytes = image->data();
        if (bytes == nullptr || bytes->empty()) {
            return false;
        }
        imagePath.assign(bytes->begin(), bytes->end());
        return true;
    }
    return false;
}

} // namespace quaylet
