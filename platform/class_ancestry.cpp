// The built-in ancestry of the macOS registry classes that snapshots use.
#include "platform/class_ancestry.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace quaylet {
namespace {

// Class → superclass, as the kernel's class hierarchy has them. IOUSBHostDevice is taken to
// derive from IOUSBDevice, as under the USB family's compatibility classes; a snapshot can
// say otherwise in its own "classes" table.
constexpr std::pair<std::string_view, std::string_view> kBuiltIn[] = {
    {"IORegistryEntry", "OSObject"},
    {"IOService", "IORegistryEntry"},
    {"IOResources", "IOService"},
    {"IOPlatformExpertDevice", "IOService"},
    {"IOPlatformExpert", "IOService"},
    {"IODTPlatformExpert", "IOPlatformExpert"},
    {"IOACPIPlatformExpert", "IODTPlatformExpert"},
    {"AppleACPIPlatformExpert", "IOACPIPlatformExpert"},
    {"IOPlatformDevice", "IOService"},
    {"IOACPIPlatformDevice", "IOPlatformDevice"},
    {"IOPCIBridge", "IOService"},
    {"AppleACPIPCI", "IOPCIBridge"},
    {"IOPCI2PCIBridge", "IOPCIBridge"},
    {"IOPCIDevice", "IOService"},
    {"AppleUSBHostController", "IOService"},
    {"AppleUSBXHCI", "AppleUSBHostController"},
    {"AppleUSBXHCIPCI", "AppleUSBXHCI"},
    {"AppleUSBXHCIFL1100", "AppleUSBXHCIPCI"},
    {"AppleUSBXHCITR", "AppleUSBXHCI"},
    {"AppleUSBXHCIAR", "AppleUSBXHCI"},
    {"AppleIntelCNLUSBXHCI", "AppleUSBXHCI"},
    {"AppleUSBXHCISPTLP", "AppleUSBXHCI"},
    {"AppleUSBHostPort", "IOService"},
    {"AppleUSBXHCIPort", "AppleUSBHostPort"},
    {"AppleUSB20XHCIPort", "AppleUSBXHCIPort"},
    {"AppleUSB30XHCIPort", "AppleUSBXHCIPort"},
    {"AppleUSBHubPort", "AppleUSBHostPort"},
    {"AppleUSB20HubPort", "AppleUSBHubPort"},
    {"AppleUSB30HubPort", "AppleUSBHubPort"},
    {"AppleUSBHub", "IOService"},
    {"AppleUSB20Hub", "AppleUSBHub"},
    {"AppleUSB30Hub", "AppleUSBHub"},
    {"AppleUSB20InternalHub", "AppleUSB20Hub"},
    {"IOUSBNub", "IOService"},
    {"IOUSBDevice", "IOUSBNub"},
    {"IOUSBHostDevice", "IOUSBDevice"},
    {"IOUSBInterface", "IOUSBNub"},
    {"IOUSBHostInterface", "IOService"},
    {"IOSCSIProtocolInterface", "IOService"},
    {"IOSCSIProtocolServices", "IOSCSIProtocolInterface"},
    {"IOUSBMassStorageDriver", "IOSCSIProtocolServices"},
    {"IOUSBMassStorageUASDriver", "IOSCSIProtocolServices"},
    {"IOUSBAttachedSCSI", "IOSCSIProtocolServices"},
    {"IOSCSIPeripheralDeviceNub", "IOSCSIProtocolInterface"},
    {"IOSCSIPrimaryCommandsDevice", "IOService"},
    {"IOSCSIBlockCommandsDevice", "IOSCSIPrimaryCommandsDevice"},
    {"IOSCSIPeripheralDeviceType00", "IOSCSIBlockCommandsDevice"},
    {"IOBlockStorageDevice", "IOService"},
    {"IOBlockStorageServices", "IOBlockStorageDevice"},
    {"IONVMeBlockStorageDevice", "IOBlockStorageDevice"},
    {"IOAHCIBlockStorageDevice", "IOBlockStorageDevice"},
    {"IOHDIXHDDrive", "IOBlockStorageDevice"},
    {"AppleDiskImageDevice", "IOBlockStorageDevice"},
    {"IOHDIXHDDriveOutKernel", "IOHDIXHDDrive"},
    {"IOHDIXController", "IOService"},
    {"IONVMeController", "IOService"},
    {"IOStorage", "IOService"},
    {"IOBlockStorageDriver", "IOStorage"},
    {"IOMedia", "IOStorage"},
    {"IOPartitionScheme", "IOStorage"},
    {"IOGUIDPartitionScheme", "IOPartitionScheme"},
    {"AppleAPFSContainerScheme", "IOPartitionScheme"},
    {"AppleAPFSMedia", "IOMedia"},
    {"AppleAPFSVolume", "IOMedia"},
};

std::optional<std::string_view> superclassOf(std::string_view name, const ClassTable& declared) {
    if (const auto found = declared.find(name); found != declared.end()) {
        return std::string_view(found->second);
    }
    for (const auto& [derived, base] : kBuiltIn) {
        if (derived == name) {
            return base;
        }
    }
    if (name == "OSObject") {
        return std::nullopt;
    }
    return std::string_view("IOService");
}

} // namespace

std::vector<std::string> classAncestry(std::string_view className, const ClassTable& declared) {
    std::vector<std::string> chain;
    std::string current(className);
    while (const auto base = superclassOf(current, declared)) {
        if (*base == className || std::find(chain.begin(), chain.end(), *base) != chain.end()) {
            break;
        }
        current = *base;
        chain.push_back(current);
    }
    return chain;
}

} // namespace quaylet
