// Speed of the volume scan over a Mac-sized registry, and of one deep behind-dock test.
#include <string>

#include <benchmark/benchmark.h>

#include "dock/behind_dock.h"
#include "platform/memory/bsd_device_naming.h"
#include "platform/memory/memory_file_manager.h"
#include "platform/memory/memory_mount_table.h"
#include "platform/memory_registry.h"
#include "platform/registry_object.h"
#include "volumes/scan_volumes.h"

namespace quaylet {
namespace {

constexpr int kVolumes = 64;
constexpr std::size_t kRegistryEntries = 5000;

// A Mac-like registry: a dock with its hub and presence device, 32 USB disks behind the dock
// and 32 on the computer's own controller, padded with other services to 5,000 entries.
class BenchMachine {
public:
    BenchMachine() {
        const MemoryEntryId root = add(std::nullopt, "IORegistryEntry", {});
        const MemoryEntryId pci = add(root, "AppleACPIPCI", {"IOPCIBridge"});
        const MemoryEntryId dock = add(pci, "IOPCIDevice", {},
                                       {{"IOPCITunnelled", true},
                                        {"Tunnel Endpoint GUID", 1},
                                        {"Tunnel Endpoint Device Vendor ID", 0x126},
                                        {"Tunnel Endpoint Device Model ID", 0x42}});
        const MemoryEntryId dockHub = usbHub(xhci(dock, 0x1A000000), 0x2109, 0x0822, 0x1A100000);
        add(dockHub, "IOUSBHostDevice", {"IOUSBDevice"},
            {{"idVendor", 0x2109}, {"idProduct", 0x8884}, {"locationID", 0x1A347000}});
        const MemoryEntryId ownHub = usbHub(xhci(pci, 0x14000000), 0x05E3, 0x0610, 0x14100000);
        for (int disk = 0; disk < kVolumes; ++disk) {
            massStorage(disk % 2 == 0 ? dockHub : ownHub, disk);
        }
        while (registry.entryCount() < kRegistryEntries) {
            add(pci, "IOService", {}, {{"IOName", "filler"}, {"locationID", 1}});
        }
        registry.publish(root);
    }

    MemoryRegistry registry{{11, 6, 0}};
    MemoryMountTable mounts;
    MemoryFileManager names;
    BsdDeviceNaming naming;
    MemoryEntryId deepDisk = 0;

private:
    MemoryEntryId add(std::optional<MemoryEntryId> parent, const char* className,
                      std::vector<std::string> bases, PropertyDictionary properties = {}) {
        bases.push_back("IOService");
        return registry.addEntry(parent, {className, std::move(bases), "", std::move(properties)});
    }
    MemoryEntryId xhci(MemoryEntryId pciParent, std::int64_t location) {
        const MemoryEntryId function =
            add(pciParent, "IOPCIDevice", {}, {{"IOPCITunnelled", location == 0x1A000000}});
        return add(
            add(function, "AppleUSBXHCI", {"AppleUSBHostController"}, {{"locationID", location}}),
            "AppleUSB30XHCIPort", {"AppleUSBXHCIPort", "AppleUSBHostPort"},
            {{"locationID", location + 0x100000}});
    }
    MemoryEntryId usbHub(MemoryEntryId port, std::int64_t vendor, std::int64_t product,
                         std::int64_t location) {
        const MemoryEntryId device =
            add(port, "IOUSBHostDevice", {"IOUSBDevice"},
                {{"idVendor", vendor}, {"idProduct", product}, {"locationID", location}});
        return add(device, "AppleUSB30Hub", {"AppleUSBHub"});
    }
    // A USB disk whose whole-disk media lies 20 levels below the registry's root.
    void massStorage(MemoryEntryId hub, int index) {
        MemoryEntryId at = add(hub, "AppleUSB30HubPort", {"AppleUSBHubPort", "AppleUSBHostPort"},
                               {{"locationID", 0x1A110000 + index}});
        at = add(at, "IOUSBHostDevice", {"IOUSBDevice"}, {{"idVendor", 0x04E8}, {"idProduct", 1}});
        for (const char* level : {"IOUSBHostInterface", "IOUSBAttachedSCSI", "IOSCSILogicalUnitNub",
                                  "IOSCSITargetDevice", "IOSCSIHierarchicalLogicalUnit",
                                  "IOSCSIPeripheralDeviceNub", "IOSCSIProtocolServices",
                                  "IOSCSIPeripheralDeviceType00", "IOSCSIBlockCommandsDevice"}) {
            at = add(at, level, {});
        }
        at = add(at, "IOBlockStorageServices", {"IOBlockStorageDevice"},
                 {{"Protocol Characteristics",
                   PropertyDictionary{{"Physical Interconnect Location", "External"}}}});
        at = add(at, "IOBlockStorageDriver", {"IOStorage"});
        const std::string disk = "disk" + std::to_string(index + 2);
        at = add(at, "IOMedia", {"IOStorage"}, {{"BSD Name", disk}});
        deepDisk = at;
        at = add(at, "IOGUIDPartitionScheme", {"IOPartitionScheme", "IOStorage"});
        add(at, "IOMedia", {"IOStorage"}, {{"BSD Name", disk + "s1"}});
        mounts.mount({"/dev/" + disk + "s1", "/Volumes/Volume " + std::to_string(index), "apfs"});
    }
};

void BM_ScanVolumes(benchmark::State& state) {
    BenchMachine machine;
    const ScanSources sources{machine.registry, machine.mounts, machine.names, machine.naming};
    UnplugPlan plan;
    bool boot = false;
    for (auto _ : state) {
        benchmark::DoNotOptimize(scanVolumes(sources, plan, state.range(0) != 0, boot));
    }
    state.counters["planned"] = plan.volumeCount();
    state.counters["entries"] = static_cast<double>(machine.registry.entryCount());
}
BENCHMARK(BM_ScanVolumes)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_IsServiceBehindDockDeepPath(benchmark::State& state) {
    BenchMachine machine;
    const RegistryObject disk(machine.registry, machine.registry.referenceTo(machine.deepDisk));
    for (auto _ : state) {
        benchmark::DoNotOptimize(isServiceBehindDock(machine.registry, disk.get()));
    }
}
BENCHMARK(BM_IsServiceBehindDockDeepPath)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace quaylet

BENCHMARK_MAIN();
