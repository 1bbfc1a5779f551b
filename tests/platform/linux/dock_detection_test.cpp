// The core's dock detection and volume scan over the Linux registry of the fixture laptops.
#include <sys/sysmacros.h>

#include <gtest/gtest.h>

#include "dock/behind_dock.h"
#include "dock/usb_topology.h"
#include "platform/linux/boot_disks.h"
#include "platform/linux/linux_device_naming.h"
#include "platform/linux/sysfs_registry.h"
#include "platform/memory/memory_file_manager.h"
#include "platform/memory/memory_mount_table.h"
#include "tests/support/test_paths.h"
#include "volumes/scan_volumes.h"

namespace quaylet {
namespace {

using MountPoints = std::vector<std::string>;

std::string fixtureRoot(const std::string& machine) {
    return std::string(testing::kFixturesDir) + "/" + machine + "/sys";
}

MountPoints mountPointsOf(const std::vector<VolumeRecord>& volumes) {
    MountPoints points;
    for (const VolumeRecord& volume : volumes) {
        points.push_back(volume.mountPoint);
    }
    return points;
}

/// The mounts a desktop would have on the docked laptop.
const std::vector<MountEntry> kDockedMounts = {
    {"/dev/nvme0n1p2", "/", "ext4"},
    {"proc", "/proc", "proc"},
    {"/dev/nvme0n1p1", "/boot/efi", "vfat"},
    {"tmpfs", "/run", "tmpfs"},
    {"/dev/sda1", "/media/user/DockSSD", "exfat"},
    {"/dev/mapper/vgdock-archive", "/media/user/Archive", "ext4"},
    {"/dev/sdb1", "/media/user/STICK", "vfat"},
    {"/dev/nvme1n1p1", "/media/user/Rocket", "ext4"},
    {"/dev/sdc1", "/media/user/FIT", "vfat"},
    {"/dev/loop0p1", "/media/user/Scratch", "ext4"},
    {"//nas/share", "/mnt/nas", "cifs"},
};

class LinuxDockDetectionTest : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_EQ(docked.outstandingHandles(), 0u);
        EXPECT_EQ(undocked.outstandingHandles(), 0u);
    }

    DockRule ruleOf(SysfsRegistry& registry, const LinuxDeviceNaming& naming,
                    const char* devicePath, bool topologyOnly = false) {
        const RegistryHandle disk = naming.wholeDiskService(registry, devicePath);
        const DockRule rule =
            topologyOnly ? dockUsbTopologyRule(registry, disk) : behindDockRule(registry, disk);
        registry.release(disk);
        return rule;
    }

    std::int32_t scan(SysfsRegistry& registry, const LinuxDeviceNaming& naming,
                      std::vector<MountEntry> mounts, bool everything) {
        const MemoryMountTable table(std::move(mounts));
        const MemoryFileManager names;
        const std::int32_t count =
            scanVolumes(ScanSources{registry, table, names, naming}, plan, everything, bootVolume);
        EXPECT_EQ(registry.outstandingHandles(), 0u);
        return count;
    }

    SysfsRegistry docked{fixtureRoot("laptop-dock")};
    SysfsRegistry undocked{fixtureRoot("laptop-undocked")};
    const LinuxDeviceNaming dockedNames{fixtureRoot("laptop-dock")};
    const LinuxDeviceNaming undockedNames{fixtureRoot("laptop-undocked")};
    UnplugPlan plan;
    bool bootVolume = false;
};

TEST_F(LinuxDockDetectionTest, EachDiskIsJudgedByTheRightSign) {
    const struct {
        const char* devicePath;
        DockRule rule;
    } cases[] = {
        {"/dev/sda1", DockRule::DockUsbIds}, // the SSD on the dock's USB 3 hub
        {"/dev/sdb1", DockRule::DockUsbIds}, // a stick under a foreign hub on a dock port
        {"/dev/mapper/vgdock-archive", DockRule::DockUsbIds}, // LVM on LUKS on the dock's SSD
        {"/dev/nvme1n1p1", DockRule::TunnelEndpoint}, // an enclosure chained behind the dock
        {"/dev/nvme0n1p2", DockRule::None},           // the internal disk
        {"/dev/sdc1", DockRule::None},                // a stick on the laptop's own port
        {"/dev/loop0p1", DockRule::None},             // an image: judged by its file, not here
        {"/dev/zram0", DockRule::None},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(ruleOf(docked, dockedNames, item.devicePath), item.rule) << item.devicePath;
    }
    EXPECT_EQ(ruleOf(undocked, undockedNames, "/dev/sdc1"), DockRule::None);
    EXPECT_EQ(ruleOf(undocked, undockedNames, "/dev/nvme0n1p2"), DockRule::None);
}

TEST_F(LinuxDockDetectionTest, TheDockUsbTopologyHoldsOnItsOwn) {
    EXPECT_EQ(dockPresenceLocations(docked), std::vector<std::uint32_t>{0x23147000});
    EXPECT_EQ(dockPortCandidates(dockPresenceLocations(docked)),
              (std::vector<std::uint32_t>{0x23110000, 0x23120000, 0x23130000}));
    EXPECT_TRUE(dockPresenceLocations(undocked).empty());
    EXPECT_EQ(ruleOf(docked, dockedNames, "/dev/sda1", true), DockRule::HubRule);
    EXPECT_EQ(ruleOf(docked, dockedNames, "/dev/sdb1", true), DockRule::HubRule);
    EXPECT_EQ(ruleOf(docked, dockedNames, "/dev/sdc1", true), DockRule::None);
    EXPECT_EQ(ruleOf(docked, dockedNames, "/dev/nvme1n1p1", true), DockRule::None);
}

TEST_F(LinuxDockDetectionTest, TheScanPlansTheDockVolumesAndTheImageOnThem) {
    EXPECT_EQ(scan(docked, dockedNames, kDockedMounts, false), 5);
    EXPECT_EQ(mountPointsOf(plan.dockVolumes),
              (MountPoints{"/media/user/DockSSD", "/media/user/Archive", "/media/user/STICK",
                           "/media/user/Rocket"}));
    EXPECT_TRUE(plan.externalVolumes.empty());
    EXPECT_EQ(mountPointsOf(plan.firstLevelImages), MountPoints{"/media/user/Scratch"});
    EXPECT_EQ(plan.firstLevelImages[0].imagePath, "/media/user/DockSSD/images/scratch.img");
    EXPECT_EQ(plan.dockVolumes[0].displayName, "DockSSD");
    EXPECT_FALSE(bootVolume);

    EXPECT_EQ(scan(docked, dockedNames, kDockedMounts, true), 6);
    EXPECT_EQ(mountPointsOf(plan.externalVolumes), MountPoints{"/media/user/FIT"});
}

TEST_F(LinuxDockDetectionTest, TheScanRefusesABootVolumeOnTheDockAndSeesNoDockWhenUndocked) {
    scan(docked, dockedNames, {{"/dev/sda1", "/", "ext4"}}, false);
    EXPECT_TRUE(bootVolume);
    ASSERT_EQ(plan.failures.size(), 1u);
    EXPECT_EQ(plan.failures[0].mountPoint, "/");

    bootVolume = false;
    EXPECT_EQ(scan(undocked, undockedNames, kDockedMounts, false), 0);
    EXPECT_EQ(scan(undocked, undockedNames, kDockedMounts, true), 1) << "the laptop's own stick";
    EXPECT_EQ(mountPointsOf(plan.externalVolumes), MountPoints{"/media/user/FIT"});
    EXPECT_FALSE(bootVolume);
}

// The docked laptop with volumes over several disks (see make_sysfs_fixtures.py): a volume is
// the dock's when any disk below it is, whichever member comes first or the table names.
TEST_F(LinuxDockDetectionTest, StackedVolumesAndTheRootBelongToTheDockWhenAnyMemberDoes) {
    SysfsRegistry stacked{fixtureRoot("laptop-dock-stacks")};
    const LinuxDeviceNaming stackedNames{fixtureRoot("laptop-dock-stacks")};
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
    EXPECT_EQ(scan(stacked, stackedNames, mounts, false), 4);
    EXPECT_EQ(mountPointsOf(plan.dockVolumes),
              (MountPoints{"/", "/media/user/Span", "/srv/mirror", "/media/user/Rocket"}));
    EXPECT_TRUE(bootVolume);
    ASSERT_EQ(plan.failures.size(), 1u);
    EXPECT_EQ(plan.failures[0].devicePath, "/dev/root");

    // The disk tool's boot disks follow the root down its stack.
    EXPECT_EQ(
        bootWholeDisks({{"/dev/root", "/", makedev(254, 1)}}, fixtureRoot("laptop-dock-stacks")),
        std::vector<std::string>{"sda"});
    EXPECT_EQ(
        bootWholeDisks({{"/dev/md127", "/", makedev(9, 127)}}, fixtureRoot("laptop-dock-stacks")),
        (std::vector<std::string>{"nvme0n1", "nvme1n1"}));
    EXPECT_EQ(stacked.outstandingHandles(), 0u);
}

} // namespace
} // namespace quaylet
