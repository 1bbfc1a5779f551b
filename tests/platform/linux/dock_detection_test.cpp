// The core's volume scan over the Linux registry of a laptop with stacked volumes. The plain
// fixture laptops' verdicts and plans are pinned by the golden status transcripts.
#include <sys/sysmacros.h>

#include <gtest/gtest.h>

#include "platform/linux/boot_disks.h"
#include "platform/linux/linux_device_naming.h"
#include "platform/linux/sysfs_registry.h"
#include "platform/memory/memory_file_manager.h"
#include "platform/memory/memory_mount_table.h"
#include "tests/support/probed_registry.h"
#include "tests/support/test_paths.h"
#include "volumes/scan_volumes.h"

namespace quaylet {
namespace {

using MountPoints = std::vector<std::string>;

MountPoints mountPointsOf(const std::vector<VolumeRecord>& volumes) {
    MountPoints points;
    for (const VolumeRecord& volume : volumes) {
        points.push_back(volume.mountPoint);
    }
    return points;
}

// The docked laptop with volumes over several disks (see its tree.json): a volume is
// the dock's when any disk below it is, whichever member comes first or the table names.
TEST(LinuxDockDetectionTest, StackedVolumesAndTheRootBelongToTheDockWhenAnyMemberDoes) {
    const std::string tree = testing::fixturePath("laptop-dock-stacks", "sys");
    SysfsRegistry stacked{tree};
    testing::attachLedger(stacked);
    const LinuxDeviceNaming stackedNames{tree};
    const std::vector<MountEntry> mounts = {
        // Booted without an initramfs: the root's source names no node, its number does
        // (LVM on LUKS on the dock's SSD).
        {"/dev/root", "/", "ext4", makedev(254, 1)},
        {"/dev/nvme0n1p2", "/home", "ext4"},
        // LVM over LUKS on the laptop's own stick and the dock's stick.
        {"/dev/mapper/vgspan-data", "/media/user/Span", "ext4"},
        // RAID1 of the internal disk and the enclosure's disk behind the dock.
        {"/dev/md127", "/srv/mirror", "ext4"},
        // The enclosure's disk as native NVMe multipath shows it.
        {"/dev/nvme1n1p1", "/media/user/Rocket", "ext4"},
    };
    const MemoryMountTable table(mounts);
    const MemoryFileManager names;
    UnplugPlan plan;
    bool bootVolume = false;
    EXPECT_EQ(
        scanVolumes(ScanSources{stacked, table, names, stackedNames}, plan, false, bootVolume), 4);
    EXPECT_EQ(mountPointsOf(plan.dockVolumes),
              (MountPoints{"/", "/media/user/Span", "/srv/mirror", "/media/user/Rocket"}));
    EXPECT_TRUE(bootVolume);
    ASSERT_EQ(plan.failures.size(), 1u);
    EXPECT_EQ(plan.failures[0].devicePath, "/dev/root");

    // The disk tool's boot disks follow the root down its stack.
    EXPECT_EQ(bootWholeDisks({{"/dev/root", "/", makedev(254, 1)}}, tree),
              std::vector<std::string>{"sda"});
    EXPECT_EQ(bootWholeDisks({{"/dev/md127", "/", makedev(9, 127)}}, tree),
              (std::vector<std::string>{"nvme0n1", "nvme1n1"}));
    EXPECT_TRUE(testing::noHandlesLeft(stacked));
}

} // namespace
} // namespace quaylet
