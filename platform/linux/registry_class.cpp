// RegistryClass: the registry classes the Linux backend publishes; their ancestry is the
// registry's one class table (classAncestry).
#include "platform/linux/registry_class.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "platform/class_ancestry.h"

namespace quaylet {
namespace {

struct ClassInfo {
    RegistryClass self;
    std::string_view name;
};

using C = RegistryClass;

// Listed in the order of the enumeration, so that a class's row is found by its value.
constexpr std::array<ClassInfo, 28> kClasses{{
    {C::IOService, "IOService"},
    {C::IOPlatformExpertDevice, "IOPlatformExpertDevice"},
    {C::IOPCIDevice, "IOPCIDevice"},
    {C::IOPCIBridge, "IOPCIBridge"},
    {C::AppleACPIPCI, "AppleACPIPCI"},
    {C::IOPCI2PCIBridge, "IOPCI2PCIBridge"},
    {C::AppleUSBHostController, "AppleUSBHostController"},
    {C::AppleUSBXHCI, "AppleUSBXHCI"},
    {C::AppleUSBXHCIPCI, "AppleUSBXHCIPCI"},
    {C::AppleUSBXHCIFL1100, "AppleUSBXHCIFL1100"},
    {C::AppleUSBHostPort, "AppleUSBHostPort"},
    {C::AppleUSBXHCIPort, "AppleUSBXHCIPort"},
    {C::AppleUSB20XHCIPort, "AppleUSB20XHCIPort"},
    {C::AppleUSB30XHCIPort, "AppleUSB30XHCIPort"},
    {C::AppleUSBHubPort, "AppleUSBHubPort"},
    {C::AppleUSB20HubPort, "AppleUSB20HubPort"},
    {C::AppleUSB30HubPort, "AppleUSB30HubPort"},
    {C::IOUSBDevice, "IOUSBDevice"},
    {C::IOUSBHostDevice, "IOUSBHostDevice"},
    {C::IOUSBHostInterface, "IOUSBHostInterface"},
    {C::AppleUSBHub, "AppleUSBHub"},
    {C::AppleUSB20Hub, "AppleUSB20Hub"},
    {C::AppleUSB30Hub, "AppleUSB30Hub"},
    {C::IOBlockStorageDevice, "IOBlockStorageDevice"},
    {C::IOBlockStorageServices, "IOBlockStorageServices"},
    {C::IONVMeBlockStorageDevice, "IONVMeBlockStorageDevice"},
    {C::AppleDiskImageDevice, "AppleDiskImageDevice"},
    {C::IOMedia, "IOMedia"},
}};

constexpr bool tableIsInOrder() {
    for (std::size_t index = 0; index < kClasses.size(); ++index) {
        if (static_cast<std::size_t>(kClasses[index].self) != index) {
            return false;
        }
    }
    return true;
}
static_assert(tableIsInOrder(), "class rows must follow the enumeration's order");

const ClassInfo& info(RegistryClass registryClass) {
    return kClasses[static_cast<std::size_t>(registryClass)];
}

} // namespace

std::string_view registryClassName(RegistryClass registryClass) {
    return info(registryClass).name;
}

bool registryClassConformsTo(RegistryClass registryClass, std::string_view className) {
    const std::string_view name = info(registryClass).name;
    if (name == className) {
        return true;
    }
    const std::vector<std::string> bases = classAncestry(name, {});
    return std::find(bases.begin(), bases.end(), className) != bases.end();
}

} // namespace quaylet
