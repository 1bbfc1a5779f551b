// RegistryClass: the registry classes the Linux backend publishes, and their ancestry.
#include "platform/linux/registry_class.h"

#include <array>

namespace quaylet {
namespace {

struct ClassInfo {
    RegistryClass self;
    std::string_view name;
    RegistryClass base;
};

using C = RegistryClass;

// Listed in the order of the enumeration, so that a class's row is found by its value.
constexpr std::array<ClassInfo, 28> kClasses{{
    {C::IOService, "IOService", C::IOService},
    {C::IOPlatformExpertDevice, "IOPlatformExpertDevice", C::IOService},
    {C::IOPCIDevice, "IOPCIDevice", C::IOService},
    {C::IOPCIBridge, "IOPCIBridge", C::IOService},
    {C::AppleACPIPCI, "AppleACPIPCI", C::IOPCIBridge},
    {C::IOPCI2PCIBridge, "IOPCI2PCIBridge", C::IOPCIBridge},
    {C::AppleUSBHostController, "AppleUSBHostController", C::IOService},
    {C::AppleUSBXHCI, "AppleUSBXHCI", C::AppleUSBHostController},
    {C::AppleUSBXHCIPCI, "AppleUSBXHCIPCI", C::AppleUSBXHCI},
    {C::AppleUSBXHCIFL1100, "AppleUSBXHCIFL1100", C::AppleUSBXHCIPCI},
    {C::AppleUSBHostPort, "AppleUSBHostPort", C::IOService},
    {C::AppleUSBXHCIPort, "AppleUSBXHCIPort", C::AppleUSBHostPort},
    {C::AppleUSB20XHCIPort, "AppleUSB20XHCIPort", C::AppleUSBXHCIPort},
    {C::AppleUSB30XHCIPort, "AppleUSB30XHCIPort", C::AppleUSBXHCIPort},
    {C::AppleUSBHubPort, "AppleUSBHubPort", C::AppleUSBHostPort},
    {C::AppleUSB20HubPort, "AppleUSB20HubPort", C::AppleUSBHubPort},
    {C::AppleUSB30HubPort, "AppleUSB30HubPort", C::AppleUSBHubPort},
    {C::IOUSBDevice, "IOUSBDevice", C::IOService},
    {C::IOUSBHostDevice, "IOUSBHostDevice", C::IOUSBDevice},
    {C::IOUSBHostInterface, "IOUSBHostInterface", C::IOService},
    {C::AppleUSBHub, "AppleUSBHub", C::IOService},
    {C::AppleUSB20Hub, "AppleUSB20Hub", C::AppleUSBHub},
    {C::AppleUSB30Hub, "AppleUSB30Hub", C::AppleUSBHub},
    {C::IOBlockStorageDevice, "IOBlockStorageDevice", C::IOService},
    {C::IOBlockStorageServices, "IOBlockStorageServices", C::IOBlockStorageDevice},
    {C::IONVMeBlockStorageDevice, "IONVMeBlockStorageDevice", C::IOBlockStorageDevice},
    {C::AppleDiskImageDevice, "AppleDiskImageDevice", C::IOBlockStorageDevice},
    {C::IOMedia, "IOMedia", C::IOService},
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
    for (RegistryClass current = registryClass;; current = info(current).base) {
        if (info(current).name == className) {
            return true;
        }
        if (current == RegistryClass::IOService) {
            return false;
        }
    }
}

} // namespace quaylet
