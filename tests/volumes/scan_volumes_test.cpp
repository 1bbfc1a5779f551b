// The mounted-volume scan on fixture Macs: dock, external and image volumes, and the reasons.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/memory/memory_mount_table.h"
#include "tests/support/fixture_machine.h"
#include "volumes/scan_volumes.h"

namespace quaylet {
namespace {

using testing::loadFixture;
using testing::memoryRegistry;
using testing::noHandlesLeft;
using MountPoints = std::vector<std::string>;

MountPoints mountPointsOf(const std::vector<VolumeRecord>& volumes) {
    MountPoints points;
    for (const VolumeRecord& volume : volumes) {
        points.push_back(volume.mountPoint);
    }
    return points;
}

class ScanVolumesTest : public ::testing::Test {
protected:
    void load(const char* machine) {
        platform = loadFixture(machine);
        ASSERT_TRUE(platform.registry);
    }
    std::int32_t scan(bool everything, ScanExplanation* explanation = nullptr) {
        const ScanSources sources{*platform.registry, *platform.mountTable, *platform.fileManager,
                                  *platform.deviceNaming};
        const std::int32_t count =
            scanVolumes(sources, plan, everything, bootVolumeFound, explanation);
        EXPECT_TRUE(noHandlesLeft(memoryRegistry(platform)));
        EXPECT_EQ(count, plan.volumeCount());
        return count;
    }

    Platform platform;
    UnplugPlan plan;
    bool bootVolumeFound = false;
};

/// A mount table that counts how often it is read.
class CountingMountTable final : public MountTable {
public:
    explicit CountingMountTable(const MountTable& table) : table_(table) {}
    std::vector<MountEntry> entries() const override {
        ++reads;
        return table_.entries();
    }
    mutable int reads = 0;

private:
    const MountTable& table_;
};

/// A file manager that notes which mount points it was asked to name.
class RecordingFileManager final : public FileManager {
public:
    explicit RecordingFileManager(const FileManager& names) : names_(names) {}
    std::optional<std::string> displayName(const MountEntry& mount) const override {
        asked.push_back(mount.mountPoint);
        return names_.displayName(mount);
    }
    mutable MountPoints asked;

private:
    const FileManager& names_;
};

const MountPoints kDockVolumes{"/Volumes/Dock SSD", "/Volumes/Dock Backup", "/Volumes/ULTRA FIT",
                               "/Volumes/CARD", "/Volumes/Enclosure"};

TEST_F(ScanVolumesTest, DockVolumesAndTheImageChainThreeDeep) {
    for (const char* machine : {"laptop_with_dock_11", "laptop_with_dock_10_15"}) {
        load(machine);
        EXPECT_EQ(scan(false), 9) << machine;
        EXPECT_EQ(mountPointsOf(plan.dockVolumes), kDockVolumes);
        EXPECT_TRUE(plan.externalVolumes.empty());
        // A by its file; the installer by its mount point inside the SSD; Zero has an empty
        // image-path below a usable one; Tools lies on the boot volume; D is fourth level.
        EXPECT_EQ(mountPointsOf(plan.firstLevelImages),
                  (MountPoints{"/Volumes/A", "/Volumes/Dock SSD/mnt/installer"}));
        EXPECT_EQ(mountPointsOf(plan.secondLevelImages), MountPoints{"/Volumes/B"});
        EXPECT_EQ(mountPointsOf(plan.thirdLevelImages), MountPoints{"/Volumes/C"});
        EXPECT_EQ(plan.secondLevelImages[0].imagePath, "/Volumes/A/B.dmg");
        EXPECT_EQ(plan.dockVolumes[0].displayName, "Dock SSD");
        EXPECT_EQ(plan.dockVolumes[2].displayName, "ULTRA FIT"); // no name: last component
        EXPECT_FALSE(bootVolumeFound);
        EXPECT_TRUE(plan.failures.empty());
    }
}

// Naming every mount used to read the whole table again for each one, and to read labels off
// disks that have nothing to do with the dock.
TEST_F(ScanVolumesTest, ReadsTheTableOnceAndNamesOnlyTheExplainedVolumesEachOnce) {
    load("laptop_with_dock_11");
    const CountingMountTable table(*platform.mountTable);
    const RecordingFileManager names(*platform.fileManager);
    ScanExplanation explanation;
    const ScanSources sources{*platform.registry, table, names, *platform.deviceNaming};
    ASSERT_EQ(scanVolumes(sources, plan, false, bootVolumeFound, &explanation), 9);
    EXPECT_EQ(table.reads, 1);
    // The explanation names the volumes it leaves mounted too.
    MountPoints planned;
    for (const PlannedVolumeReason& reason : explanation.reasons) {
        planned.push_back(reason.volume.mountPoint);
        EXPECT_FALSE(reason.volume.displayName.empty()) << reason.volume.mountPoint;
    }
    for (const LeftVolumeReason& left : explanation.leftMounted) {
        planned.push_back(left.volume.mountPoint);
    }
    std::sort(planned.begin(), planned.end());
    std::sort(names.asked.begin(), names.asked.end());
    EXPECT_EQ(names.asked, planned);
}

TEST_F(ScanVolumesTest, EverythingAddsExternalVolumesAndTheImagesOnThem) {
    load("laptop_with_dock_11");
    EXPECT_EQ(scan(true), 11);
    EXPECT_EQ(mountPointsOf(plan.externalVolumes), MountPoints{"/Volumes/OWNSTICK"});
    EXPECT_EQ(mountPointsOf(plan.firstLevelImages),
              (MountPoints{"/Volumes/A", "/Volumes/Dock SSD/mnt/installer", "/Volumes/Photos"}));
}

TEST_F(ScanVolumesTest, ExplainsWhichRulePutEachVolumeInThePlan) {
    load("laptop_with_dock_11");
    ScanExplanation explanation;
    scan(true, &explanation);
    ASSERT_EQ(explanation.reasons.size(), 11U);
    const auto& r = explanation.reasons;
    EXPECT_EQ(r[0].dockRule, DockRule::DockUsbIds);
    EXPECT_EQ(r[4].volume.mountPoint, "/Volumes/Enclosure");
    EXPECT_EQ(r[4].dockRule, DockRule::TunnelEndpoint);
    EXPECT_EQ(r[5].list, PlanList::ExternalVolumes);
    EXPECT_EQ(r[6].hostMountPoint, "/Volumes/Dock SSD");
    EXPECT_FALSE(r[6].mountedInsideHost);
    EXPECT_EQ(r[7].volume.mountPoint, "/Volumes/Dock SSD/mnt/installer");
    EXPECT_TRUE(r[7].mountedInsideHost);
    EXPECT_EQ(r[8].hostMountPoint, "/Volumes/OWNSTICK");
    EXPECT_EQ(r[9].list, PlanList::SecondLevelImages);
    EXPECT_EQ(r[10].list, PlanList::ThirdLevelImages);
    EXPECT_EQ(r[10].hostMountPoint, "/Volumes/B");
}

TEST_F(ScanVolumesTest, BootVolumeBehindTheDockIsRefusedButStillPlanned) {
    load("laptop_booted_from_dock");
    plan.failures.push_back(UnmountFailure{}); // stale: the scan starts from a clear plan
    EXPECT_EQ(scan(false), 2);
    EXPECT_TRUE(bootVolumeFound);
    EXPECT_EQ(mountPointsOf(plan.dockVolumes), (MountPoints{"/", "/System/Volumes/Data"}));
    ASSERT_EQ(plan.failures.size(), 1U);
    EXPECT_EQ(plan.failures[0],
              (UnmountFailure{"/dev/disk3s1", "/", "Dock SSD", "", "is the boot volume", -47}));
}

TEST_F(ScanVolumesTest, WithoutTheDockOnlyEverythingPlansTheStick) {
    load("laptop_without_dock");
    EXPECT_EQ(scan(false), 0);
    EXPECT_EQ(scan(true), 1);
    EXPECT_EQ(mountPointsOf(plan.externalVolumes), MountPoints{"/Volumes/OWNSTICK"});
    EXPECT_FALSE(bootVolumeFound);
}

TEST_F(ScanVolumesTest, EmptyMountTableLeavesThePlanEmptyAndTheFlagAlone) {
    load("laptop_with_dock_11");
    platform.mountTable = std::make_unique<MemoryMountTable>();
    bootVolumeFound = true;
    EXPECT_EQ(scan(false), 0);
    EXPECT_TRUE(bootVolumeFound);
}

TEST_F(ScanVolumesTest, SharesDevfsAndAutomounterMapsFindNoService) {
    load("laptop_with_dock_11");
    MemoryRegistry& registry = memoryRegistry(platform);
    for (const char* device : {"//guest@nas.local/media", "devfs", "map auto_home"}) {
        EXPECT_FALSE(platform.deviceNaming->wholeDiskService(registry, device)) << device;
        EXPECT_FALSE(platform.deviceNaming->volumeService(registry, device)) << device;
    }
    EXPECT_TRUE(noHandlesLeft(registry));
    platform.mountTable = std::make_unique<MemoryMountTable>(std::vector<MountEntry>{
        {"//guest@nas.local/media", "/Volumes/media", "smbfs"},
        {"devfs", "/dev", "devfs"},
        {"map auto_home", "/System/Volumes/Data/home", "autofs"},
        {"disk3s1", "/Volumes/Dock SSD", "apfs"}}); // no /dev/ prefix: the same disk
    EXPECT_EQ(scan(false), 1);
    EXPECT_EQ(plan.dockVolumes[0].devicePath, "disk3s1");
}

} // namespace
} // namespace quaylet
