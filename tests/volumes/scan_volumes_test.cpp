// The mounted-volume scan on a fixture Mac: one table read, and sources with no disk. The plans
// and reasons of every fixture machine are pinned by the golden status transcripts.
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

// Naming every mount used to read the whole table again for each one, and to read labels off
// disks that have nothing to do with the dock.
TEST_F(ScanVolumesTest, ReadsTheTableOnceAndNamesOnlyTheExplainedVolumesEachOnce) {
    load("laptop-with-dock-11");
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

TEST_F(ScanVolumesTest, SharesDevfsAndAutomounterMapsFindNoService) {
    load("laptop-with-dock-11");
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
