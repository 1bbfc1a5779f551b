// RegistryClass: the registry classes the Linux backend publishes, and their ancestry.
#pragma once

#include <cstdint>
#include <string_view>

namespace quaylet {

/// One class of registry entry the Linux backend publishes.
enum class RegistryClass : std::uint8_t {
    IOService,
    IOPlatformExpertDevice,
    IOPCIDevice,
    IOPCIBridge,
    AppleACPIPCI,
    IOPCI2PCIBridge,
    AppleUSBHostController,
    AppleUSBXHCI,
    AppleUSBXHCIPCI,
    AppleUSBXHCIFL1100,
    AppleUSBHostPort,
    AppleUSBXHCIPort,
    AppleUSB20XHCIPort,
    AppleUSB30XHCIPort,
    AppleUSBHubPort,
    AppleUSB20HubPort,
    AppleUSB30HubPort,
    IOUSBDevice,
    IOUSBHostDevice,
    IOUSBHostInterface,
    AppleUSBHub,
    AppleUSB20Hub,
    AppleUSB30Hub,
    IOBlockStorageDevice,
    IOBlockStorageServices,
    IONVMeBlockStorageDevice,
    AppleDiskImageDevice,
    IOMedia,
};

/// Returns the class's name as the registry publishes it.
std::string_view registryClassName(RegistryClass registryClass);

/// Returns whether `registryClass` is the class named `className` or derives from it.
bool registryClassConformsTo(RegistryClass registryClass, std::string_view className);

} // namespace quaylet
