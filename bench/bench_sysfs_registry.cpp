// Benchmarks of SysfsRegistry: reading a device tree, and a whole volume scan over it.
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "platform/linux/linux_device_naming.h"
#include "platform/linux/linux_file_manager.h"
#include "platform/linux/sysfs_registry.h"
#include "platform/memory/memory_mount_table.h"
#include "tests/support/test_paths.h"
#include "volumes/scan_volumes.h"

namespace quaylet {
namespace {

const std::vector<std::string> kMachines = {"laptop-dock", "laptop-dock-heavy"};

std::string rootOf(const benchmark::State& state) {
    return std::string(testing::kFixturesDir) + "/" +
           kMachines[static_cast<std::size_t>(state.range(0))] + "/sys";
}

/// The docked laptop's mounts, with the heavy machine's snaps and SATA volumes besides.
std::vector<MountEntry> mounts() {
    std::vector<MountEntry> entries = {
        {"/dev/nvme0n1p2", "/", "ext4"},
        {"/dev/nvme0n1p1", "/boot/efi", "vfat"},
        {"proc", "/proc", "proc"},
        {"tmpfs", "/run", "tmpfs"},
        {"/dev/sda1", "/media/user/DockSSD", "exfat"},
        {"/dev/mapper/vgdock-archive", "/media/user/Archive", "ext4"},
        {"/dev/sdb1", "/media/user/STICK", "vfat"},
        {"/dev/nvme1n1p1", "/media/user/Rocket", "ext4"},
        {"/dev/sdc1", "/media/user/FIT", "vfat"},
        {"/dev/loop0p1", "/media/user/Scratch", "ext4"},
    };
    for (int index = 3; index < 43; ++index) {
        entries.push_back({"/dev/loop" + std::to_string(index),
                           "/snap/app" + std::to_string(index) + "/1", "squashfs"});
    }
    for (const char* disk : {"sdd1", "sde1", "sdf1", "sdg1"}) {
        entries.push_back({std::string("/dev/") + disk, std::string("/srv/") + disk, "xfs"});
    }
    return entries;
}

void BM_ReadDeviceTree(benchmark::State& state) {
    SysfsRegistry registry(rootOf(state));
    for (auto _ : state) {
        registry.refresh();
        registry.release(registry.serviceForBsdName("sda"));
    }
}
BENCHMARK(BM_ReadDeviceTree)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The scan as the command-line tool runs it: the tree is read afresh, then every mount is
// looked up, tested and named (by this machine's own mount table, which knows none of them).
void BM_ScanVolumesWithFreshTree(benchmark::State& state) {
    SysfsRegistry registry(rootOf(state));
    const LinuxDeviceNaming naming(rootOf(state));
    const MemoryMountTable table(mounts());
    const LinuxFileManager names;
    const ScanSources sources{registry, table, names, naming};
    for (auto _ : state) {
        registry.refresh();
        UnplugPlan plan;
        bool bootVolume = false;
        benchmark::DoNotOptimize(scanVolumes(sources, plan, true, bootVolume));
    }
}
BENCHMARK(BM_ScanVolumesWithFreshTree)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace quaylet

BENCHMARK_MAIN();
