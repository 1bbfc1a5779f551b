// Tests of SysfsRegistry over the fixture device trees: the registry's shape and handles.
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/linux/sysfs_registry.h"
#include "tests/support/test_paths.h"

namespace quaylet {
namespace {

std::string fixtureRoot(const std::string& machine) {
    return std::string(testing::kFixturesDir) + "/" + machine + "/sys";
}

class SysfsRegistryTest : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_EQ(docked.outstandingHandles(), 0u);
        EXPECT_EQ(undocked.outstandingHandles(), 0u);
    }

    /// The one entry of `className` named `name` (IOName), as a handle the caller releases;
    /// 0 when none. A device and the driver entries made for it share a name.
    RegistryHandle named(SysfsRegistry& registry, const std::string& name,
                         const char* className = "IOService") {
        MatchingDictionary matching = serviceMatching(className);
        matching.properties.emplace("IOName", name);
        const RegistryHandle iterator = registry.matchingServices(matching);
        const RegistryHandle entry = registry.iteratorNext(iterator);
        EXPECT_EQ(registry.iteratorNext(iterator), kNoRegistryObject) << name << " is not unique";
        registry.release(iterator);
        return entry;
    }

    /// "Class name" of `entry` and of each ancestor up to the root; releases `entry`.
    std::vector<std::string> ancestry(SysfsRegistry& registry, RegistryHandle entry) {
        std::vector<std::string> chain;
        while (entry != kNoRegistryObject) {
            const auto name = registry.property(entry, "IOName");
            chain.push_back(registry.className(entry) + " " + *name->string());
            const RegistryHandle parent = registry.parentEntry(entry);
            registry.release(entry);
            entry = parent;
        }
        return chain;
    }

    /// The entry `steps` parent requests above `entry`; releases `entry`.
    RegistryHandle ancestorAt(SysfsRegistry& registry, RegistryHandle entry, int steps) {
        for (int step = 0; step < steps && entry != kNoRegistryObject; ++step) {
            const RegistryHandle parent = registry.parentEntry(entry);
            registry.release(entry);
            entry = parent;
        }
        return entry;
    }

    std::int64_t number(SysfsRegistry& registry, RegistryHandle entry, const char* key) {
        const auto value = registry.property(entry, key);
        return value && value->number() ? *value->number() : -1;
    }

    SysfsRegistry docked{fixtureRoot("laptop-dock")};
    SysfsRegistry undocked{fixtureRoot("laptop-undocked")};
};

// The dock monitor reads the tunnel IDs five levels above the dock's xHCI controller driver
// and seven above its USB 3 hub; both must be the dock's tunnelled upstream bridge.
TEST_F(SysfsRegistryTest, FixedDepthsAboveTheDockLandOnItsUpstreamBridge) {
    MatchingDictionary hub = serviceMatching("IOUSBHostDevice");
    hub.properties = {{"idVendor", 0x2109}, {"idProduct", 0x0822}};
    const struct {
        MatchingDictionary matching;
        int depth;
    } sources[] = {{serviceMatching("AppleUSBXHCIFL1100"), 5}, {hub, 7}};
    for (const auto& source : sources) {
        const RegistryHandle iterator = docked.matchingServices(source.matching);
        const RegistryHandle service = docked.iteratorNext(iterator);
        EXPECT_EQ(docked.iteratorNext(iterator), kNoRegistryObject);
        docked.release(iterator);
        ASSERT_NE(service, kNoRegistryObject) << source.matching.className;
        const RegistryHandle landing = ancestorAt(docked, service, source.depth);
        EXPECT_EQ(*docked.property(landing, "IOName")->string(), "0000:20:00.0");
        EXPECT_TRUE(*docked.property(landing, "IOPCITunnelled")->boolean());
        EXPECT_EQ(number(docked, landing, "Tunnel Endpoint Device Vendor ID"), 0x43);
        EXPECT_EQ(number(docked, landing, "Tunnel Endpoint Device Model ID"), 0x22);
        EXPECT_TRUE(docked.property(landing, "Tunnel Endpoint GUID").has_value());
        docked.release(landing);
    }
}

TEST_F(SysfsRegistryTest, StorageHangsFromItsHardwareAsDriversAndDevicesAlternate) {
    const std::vector<std::string> dockPath = {
        "AppleUSBXHCIFL1100 0000:23:00.0", "IOPCIDevice 0000:23:00.0",
        "IOPCI2PCIBridge 0000:21:01.0",    "IOPCIDevice 0000:21:01.0",
        "IOPCI2PCIBridge 0000:20:00.0",    "IOPCIDevice 0000:20:00.0",
        "IOPCI2PCIBridge 0000:00:07.0",    "IOPCIDevice 0000:00:07.0",
        "AppleACPIPCI pci0000:00",         "IOPlatformExpertDevice Linux"};
    const auto dockUsb = [&dockPath](std::vector<std::string> below) {
        below.insert(below.end(), dockPath.begin(), dockPath.end());
        return below;
    };
    const std::vector<std::string> ssd = {"IOMedia sda",
                                          "IOBlockStorageServices 0:0:0:0",
                                          "IOService target0:0:0",
                                          "IOService host0",
                                          "IOUSBHostInterface 6-1.2:1.0",
                                          "IOUSBHostDevice 6-1.2",
                                          "AppleUSB30HubPort 6-1-port2",
                                          "AppleUSB30Hub 6-1:1.0",
                                          "IOUSBHostDevice 6-1",
                                          "AppleUSB30XHCIPort usb6-port1"};
    std::vector<std::string> lvm = {"IOMedia dm-1", "IOMedia dm-0", "IOMedia sda2"};
    lvm.insert(lvm.end(), ssd.begin(), ssd.end());
    const struct {
        std::string bsdName;
        std::vector<std::string> expected;
    } cases[] = {
        {"sda", dockUsb(ssd)},
        {"dm-1", dockUsb(lvm)},
        {"sdb1",
         dockUsb({"IOMedia sdb1", "IOMedia sdb", "IOBlockStorageServices 1:0:0:0",
                  "IOService target1:0:0", "IOService host1", "IOUSBHostInterface 6-1.3.1:1.0",
                  "IOUSBHostDevice 6-1.3.1", "AppleUSB30HubPort 6-1.3-port1",
                  "AppleUSB30Hub 6-1.3:1.0", "IOUSBHostDevice 6-1.3", "AppleUSB30HubPort 6-1-port3",
                  "AppleUSB30Hub 6-1:1.0", "IOUSBHostDevice 6-1",
                  "AppleUSB30XHCIPort usb6-port1"})},
        {"nvme1n1p1",
         {"IOMedia nvme1n1p1", "IOMedia nvme1n1", "IONVMeBlockStorageDevice nvme1",
          "IOPCIDevice 0000:26:00.0", "IOPCI2PCIBridge 0000:25:00.0", "IOPCIDevice 0000:25:00.0",
          "IOPCI2PCIBridge 0000:24:00.0", "IOPCIDevice 0000:24:00.0",
          "IOPCI2PCIBridge 0000:21:02.0", "IOPCIDevice 0000:21:02.0",
          "IOPCI2PCIBridge 0000:20:00.0", "IOPCIDevice 0000:20:00.0",
          "IOPCI2PCIBridge 0000:00:07.0", "IOPCIDevice 0000:00:07.0", "AppleACPIPCI pci0000:00",
          "IOPlatformExpertDevice Linux"}},
        {"nvme0n1",
         {"IOMedia nvme0n1", "IONVMeBlockStorageDevice nvme0", "IOPCIDevice 0000:01:00.0",
          "IOPCI2PCIBridge 0000:00:1d.0", "IOPCIDevice 0000:00:1d.0", "AppleACPIPCI pci0000:00",
          "IOPlatformExpertDevice Linux"}},
        {"sdc1",
         {"IOMedia sdc1", "IOMedia sdc", "IOBlockStorageServices 2:0:0:0", "IOService target2:0:0",
          "IOService host2", "IOUSBHostInterface 2-2:1.0", "IOUSBHostDevice 2-2",
          "AppleUSB30XHCIPort usb2-port2", "AppleUSBXHCIPCI 0000:00:14.0",
          "IOPCIDevice 0000:00:14.0", "AppleACPIPCI pci0000:00", "IOPlatformExpertDevice Linux"}},
        {"loop0p1",
         {"IOMedia loop0p1", "IOMedia loop0", "AppleDiskImageDevice loop0",
          "IOPlatformExpertDevice Linux"}},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(ancestry(docked, docked.serviceForBsdName(item.bsdName)), item.expected)
            << item.bsdName;
    }
}

TEST_F(SysfsRegistryTest, PortsAndDevicesCarryTheirLocationIDs) {
    const struct {
        const char* name;
        std::int64_t locationID;
        const char* className = "IOService";
    } cases[] = {
        {"0000:23:00.0", 0x23000000, "AppleUSBXHCI"},
        {"0000:00:14.0", 0x14000000, "AppleUSBXHCI"},
        {"usb6-port1", 0xA3100000},
        {"usb5-port1", 0x23100000},
        {"6-1", 0xA3100000},
        {"6-1-port2", 0xA3120000},
        {"5-1.4.7", 0x23147000},
        {"6-1.3.1", 0xA3131000},
        {"2-2", 0x94200000},
        {"usb1-port15", 0x14F00000},
        {"usb1-port16", 0},
        {"usb4-port1", 0x8D100000},
    };
    for (const auto& item : cases) {
        const RegistryHandle entry = named(docked, item.name, item.className);
        EXPECT_EQ(number(docked, entry, "locationID"), item.locationID) << item.name;
        docked.release(entry);
    }
}

TEST_F(SysfsRegistryTest, StorageDevicesSayWhereTheyAreAttached) {
    const struct {
        const char* bsdName;
        const char* location;
    } cases[] = {{"sda", "External"},     {"sdb", "External"},     {"sdc", "External"},
                 {"nvme1n1", "External"}, {"nvme0n1", "Internal"}, {"dm-1", "External"},
                 {"zram0", "Internal"},   {"loop0", "File"}};
    for (const auto& item : cases) {
        RegistryHandle entry = docked.serviceForBsdName(item.bsdName);
        while (entry != kNoRegistryObject && !docked.conformsTo(entry, "IOBlockStorageDevice")) {
            entry = ancestorAt(docked, entry, 1);
        }
        ASSERT_NE(entry, kNoRegistryObject) << item.bsdName;
        const auto characteristics = docked.property(entry, "Protocol Characteristics");
        const auto& dictionary = *characteristics->dictionary();
        EXPECT_EQ(*dictionary.at("Physical Interconnect Location").string(), item.location)
            << item.bsdName;
        docked.release(entry);
    }
}

TEST_F(SysfsRegistryTest, LoopDevicesCarryTheirBackingFile) {
    const struct {
        const char* bsdName;
        std::string imagePath;
    } cases[] = {{"loop0", "/media/user/DockSSD/images/scratch.img"},
                 {"loop2", "/media/user/DockSSD/images/old.img"}};
    for (const auto& item : cases) {
        const RegistryHandle device = ancestorAt(docked, docked.serviceForBsdName(item.bsdName), 1);
        const auto imagePath = docked.property(device, "image-path");
        ASSERT_TRUE(imagePath && imagePath->data()) << item.bsdName;
        EXPECT_EQ(std::string(imagePath->data()->begin(), imagePath->data()->end()),
                  item.imagePath);
        docked.release(device);
    }
    EXPECT_EQ(docked.serviceForBsdName("loop1"), kNoRegistryObject) << "loop1 is not bound";
}

TEST_F(SysfsRegistryTest, OnlyRoutersUpstreamBridgesCarryTunnelEndpointIDs) {
    const struct {
        const char* name;
        bool tunnelled;
        std::int64_t vendor; // -1: no tunnel endpoint IDs
    } cases[] = {{"0000:20:00.0", true, 0x43},  {"0000:21:02.0", true, -1},
                 {"0000:24:00.0", true, 0x171}, {"0000:25:00.0", true, -1},
                 {"0000:23:00.0", true, -1},    {"0000:00:07.0", false, -1},
                 {"0000:00:0d.2", false, -1}};
    for (const auto& item : cases) {
        const RegistryHandle entry = named(docked, item.name, "IOPCIDevice");
        EXPECT_EQ(docked.property(entry, "IOPCITunnelled").has_value(), item.tunnelled)
            << item.name;
        EXPECT_EQ(number(docked, entry, "Tunnel Endpoint Device Vendor ID"), item.vendor)
            << item.name;
        docked.release(entry);
    }
    // The USB4 host interface (class 0x0c0340) has no USB controller driver below it.
    const RegistryHandle nhi = named(docked, "0000:00:0d.2", "IOPCIDevice");
    const RegistryHandle children = docked.childIterator(nhi);
    EXPECT_EQ(docked.iteratorNext(children), kNoRegistryObject);
    docked.release(children);
    docked.release(nhi);
}

TEST_F(SysfsRegistryTest, ChildrenComeInPortOrderAndEveryHandleIsItsOwn) {
    const RegistryHandle function = named(docked, "0000:23:00.0", "IOPCIDevice");
    const RegistryHandle functionChildren = docked.childIterator(function);
    const RegistryHandle controller = docked.iteratorNext(functionChildren);
    const RegistryHandle ports = docked.childIterator(controller);
    std::vector<std::string> names;
    while (const RegistryHandle port = docked.iteratorNext(ports)) {
        names.push_back(*docked.property(port, "IOName")->string());
        docked.release(port);
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{"usb5-port1", "usb5-port2", "usb5-port3", "usb5-port4",
                                        "usb6-port1", "usb6-port2", "usb6-port3", "usb6-port4"}));
    const RegistryHandle first = docked.parentEntry(controller);
    const RegistryHandle second = docked.parentEntry(controller);
    EXPECT_NE(first, second);
    EXPECT_EQ(docked.outstandingHandles(), 6u);
    for (const RegistryHandle handle : {first, second, ports, controller, functionChildren,
                                        function, function /* twice: harmless */}) {
        docked.release(handle);
    }
    EXPECT_EQ(docked.className(function), "") << "a released handle names nothing";
}

TEST_F(SysfsRegistryTest, TheUndockedLaptopHasNoDockEntries) {
    for (const char* className : {"AppleUSBXHCIFL1100", "AppleUSB30Hub", "IOUSBHostDevice"}) {
        MatchingDictionary matching = serviceMatching(className);
        if (std::string(className) == "IOUSBHostDevice") {
            matching.properties = {{"idVendor", 0x2109}};
        }
        EXPECT_EQ(undocked.matchingServices(matching), kNoRegistryObject) << className;
    }
    for (const char* bsdName : {"sda", "nvme1n1", "dm-1", "loop0"}) {
        EXPECT_EQ(undocked.serviceForBsdName(bsdName), kNoRegistryObject) << bsdName;
    }
    EXPECT_GE(undocked.operatingSystemVersion(), (OperatingSystemVersion{11, 0, 0}));
}

// The kernel counts its device events; a changed count makes the next lookup read the tree
// again, while handles from before keep walking the tree they came from.
TEST_F(SysfsRegistryTest, ANewEventCountRereadsTheTree) {
    const std::filesystem::path directory =
        std::filesystem::temp_directory_path() / ("quaylet-sysfs-" + std::to_string(::getpid()));
    std::filesystem::create_directories(directory);
    const std::filesystem::path root = directory / "sys";
    std::filesystem::create_directory_symlink(fixtureRoot("laptop-dock"), root);
    SysfsRegistry registry(root.string());
    const RegistryHandle ssd = registry.serviceForBsdName("sda");
    ASSERT_NE(ssd, kNoRegistryObject);
    std::filesystem::remove(root);
    std::filesystem::create_directory_symlink(fixtureRoot("laptop-undocked"), root);
    EXPECT_EQ(registry.serviceForBsdName("sda"), kNoRegistryObject);
    EXPECT_EQ(ancestry(registry, ssd).size(), 20u) << "the old snapshot is still whole";
    EXPECT_EQ(registry.outstandingHandles(), 0u);
    std::filesystem::remove_all(directory);
}

} // namespace
} // namespace quaylet
