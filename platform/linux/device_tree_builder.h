// DeviceTreeBuilder: reads a sysfs tree and shapes its devices as registry entries.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/linux/device_tree.h"
#include "platform/linux/thunderbolt_topology.h"
#include "platform/unique_fd.h"

namespace quaylet {

/// Reads the device tree under `root` (a sysfs mount such as /sys, or a copy of one) into a
/// snapshot of registry entries. Unreadable parts are left out; the root entry always exists.
DeviceTree buildDeviceTree(const std::string& root);

/// Builds one DeviceTree. Entries are made for the devices on the PCI and USB buses and in the
/// block class, and for every device directory above them; the rest of sysfs is not read.
class DeviceTreeBuilder {
public:
    explicit DeviceTreeBuilder(std::string root);
    /// Reads the tree and returns the snapshot.
    DeviceTree build();

private:
    /// What the builder knows of an entry beyond its registry face.
    struct NodeFacts {
        std::string subsystem;
        bool external = false; ///< The path passes a USB device or a tunnelled PCI function.
        bool overUsb = false;  ///< The path passes a USB device.
        TreeNodeIndex pciDevice = kNoTreeNode; ///< Nearest PCI function at or above.
        bool tunnelled = false;                ///< A PCI function behind a Thunderbolt/USB4 tunnel.
        bool bridge = false;
        bool oddTunnelPosition = false;         ///< A downstream port inside a tunnelled switch.
        TreeNodeIndex tunnelHead = kNoTreeNode; ///< Nearest tunnel head at or above.
        int chainDepth = 0;                     ///< How many tunnel heads lie at or above.
        int domain = -1; ///< Tunnelled: the index of the domain whose port it is below, or -1.
    };
    /// A PCI function at the far end of a tunnel, and the tunnel head above it.
    struct TunnelHead {
        TreeNodeIndex node = kNoTreeNode;
        TreeNodeIndex parentHead = kNoTreeNode;
        int depth = 0;   ///< 1 for the first tunnel from the computer, 2 for one chained behind it.
        int domain = -1; ///< The index of the domain it is tunnelled through; -1 when unknown.
    };
    /// A USB host controller entry and the controller byte of locationIDs it would like.
    struct Controller {
        TreeNodeIndex node = kNoTreeNode;
        std::uint32_t preferredByte = 0;
    };
    /// A USB bus's root hub: the controller entry its ports hang from, and its speed.
    struct RootHub {
        TreeNodeIndex controller = kNoTreeNode;
        std::uint32_t speed = 0;
    };

    // Tree core (device_tree_builder.cpp).
    TreeNodeIndex attachPoint(const std::string& devicePath, std::string_view subsystem = {});
    void createDevice(const std::string& devicePath, TreeNodeIndex parent,
                      std::string_view subsystem);
    TreeNodeIndex addNode(RegistryClass registryClass, const std::string& devicePath,
                          std::string_view role, TreeNodeIndex parent, std::string_view name);
    void setProperty(TreeNodeIndex node, std::string key, PropertyValue value);
    /// An open directory and a path relative to it.
    struct Place {
        int directory = -1;
        std::string relative;
    };
    std::optional<std::string> attribute(const std::string& devicePath,
                                         std::string_view name) const;
    std::optional<std::string> readLinkIn(const std::string& devicePath,
                                          std::string_view link) const;
    bool existsIn(const std::string& devicePath, std::string_view name) const;
    std::string resolveDeviceLink(const std::string& devicePath, std::string_view link) const;
    Place placeOf(const std::string& devicePath, std::string_view name) const;
    int directoryOf(const std::string& devicePath) const;
    void addBusDevices(std::string_view listing, std::string_view subsystem);
    void finish();

    // PCI (pci_entries.cpp).
    void addPciFunction(const std::string& devicePath, TreeNodeIndex parent,
                        std::string_view uevent);
    void markTunnelPosition(TreeNodeIndex node, TreeNodeIndex parentPci);
    TreeNodeIndex addUsbHostController(const std::string& devicePath, TreeNodeIndex parent,
                                       RegistryClass registryClass, std::uint32_t preferredByte);

    // USB (usb_entries.cpp).
    void addUsbEntry(const std::string& devicePath, TreeNodeIndex parent);
    void addRootHub(const std::string& devicePath, TreeNodeIndex parent);
    void addUsbInterface(const std::string& devicePath, TreeNodeIndex parent);
    void addUsbDevice(const std::string& devicePath, TreeNodeIndex parent, std::string_view uevent);
    void addUsbPort(const std::string& devicePath, TreeNodeIndex parent);
    void addPortsBelow(const std::string& interfacePath);
    TreeNodeIndex portOfDevice(const std::string& devicePath, TreeNodeIndex fallback);
    void assignUsbLocations();

    // Block storage (block_entries.cpp).
    void addBlockDevice(const std::string& devicePath, TreeNodeIndex parent,
                        std::string_view uevent);
    TreeNodeIndex virtualDiskParent(const std::string& devicePath, TreeNodeIndex parent);
    TreeNodeIndex memberMedia(const std::string& devicePath);
    TreeNodeIndex nvmeController(const std::string& devicePath);
    TreeNodeIndex storageDeviceFor(TreeNodeIndex diskParent, const std::string& diskPath);
    PropertyDictionary protocolCharacteristics(TreeNodeIndex storage,
                                               const std::string& diskPath) const;

    // Thunderbolt tunnels (tunnel_endpoints.cpp).
    void pairTunnelEndpoints();

    std::string root_;
    /// The device directories opened so far, by path below the root (-1: none there). Reads
    /// of a device's attributes and links go relative to its directory or its parent's, and a
    /// directory is opened relative to its parent's: the kernel looks up a name or two instead
    /// of a long path.
    mutable std::unordered_map<std::string, UniqueFd> directories_;
    DeviceTree tree_;
    std::vector<NodeFacts> facts_;
    std::unordered_map<std::string, TreeNodeIndex> attach_;
    std::unordered_map<std::string, TreeNodeIndex> controllerOfDevice_;
    std::vector<Controller> controllers_;
    std::map<std::uint32_t, RootHub> rootHubs_;
    std::unordered_map<std::string, std::uint32_t> hubSpeeds_;
    std::vector<TreeNodeIndex> usbLocated_;
    std::vector<TunnelHead> tunnelHeads_;
    ThunderboltTopology thunderbolt_;
};

} // namespace quaylet
