// Benchmarks of SysfsRegistry: reading a device tree, and the lookups of one volume scan.
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "platform/linux/linux_device_naming.h"
#include "platform/linux/sysfs_registry.h"
#include "tests/support/test_paths.h"

namespace quaylet {
namespace {

const std::string kDockedRoot = std::string(testing::kFixturesDir) + "/laptop-dock/sys";

const std::vector<std::string> kMountSources = {
    "/dev/nvme0n1p2", "/dev/nvme0n1p1", "/dev/sda1",      "/dev/mapper/vgdock-archive",
    "/dev/sdb1",      "/dev/sdc1",      "/dev/nvme1n1p1", "/dev/loop0p1",
    "tmpfs",          "proc",           "sysfs",          "//server/share"};

/// Walks from `entry` to the root, as the dock test and the external test do; releases all.
void walkUp(Registry& registry, RegistryHandle entry) {
    while (entry != kNoRegistryObject) {
        benchmark::DoNotOptimize(registry.conformsTo(entry, "IOPCIDevice"));
        benchmark::DoNotOptimize(registry.property(entry, "image-path"));
        const RegistryHandle parent = registry.parentEntry(entry);
        registry.release(entry);
        entry = parent;
    }
}

/// One scan's registry work: per mount source, the whole disk twice and the volume once,
/// each walked to the root, plus the enumeration of the dock's presence devices.
void scanLookups(SysfsRegistry& registry, const LinuxDeviceNaming& naming) {
    for (const std::string& source : kMountSources) {
        walkUp(registry, naming.wholeDiskService(registry, source));
        walkUp(registry, naming.wholeDiskService(registry, source));
        walkUp(registry, naming.volumeService(registry, source));
        MatchingDictionary presence = serviceMatching("IOUSBHostDevice");
        presence.properties = {{"idVendor", 0x2109}, {"idProduct", 0x8884}};
        const RegistryHandle iterator = registry.matchingServices(presence);
        while (const RegistryHandle device = registry.iteratorNext(iterator)) {
            registry.release(device);
        }
        registry.release(iterator);
    }
}

void BM_ReadDockedTree(benchmark::State& state) {
    SysfsRegistry registry(kDockedRoot);
    for (auto _ : state) {
        registry.refresh();
        benchmark::DoNotOptimize(registry.serviceForBsdName("sda"));
        registry.release(registry.serviceForBsdName("sda"));
    }
}
BENCHMARK(BM_ReadDockedTree)->Unit(benchmark::kMicrosecond);

void BM_ScanLookupsWithFreshTree(benchmark::State& state) {
    SysfsRegistry registry(kDockedRoot);
    const LinuxDeviceNaming naming(kDockedRoot);
    for (auto _ : state) {
        registry.refresh();
        scanLookups(registry, naming);
    }
}
BENCHMARK(BM_ScanLookupsWithFreshTree)->Unit(benchmark::kMicrosecond);

void BM_ScanLookupsOnThisMachine(benchmark::State& state) {
    SysfsRegistry registry;
    const LinuxDeviceNaming naming;
    for (auto _ : state) {
        registry.refresh();
        scanLookups(registry, naming);
    }
}
BENCHMARK(BM_ScanLookupsOnThisMachine)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace quaylet

BENCHMARK_MAIN();
