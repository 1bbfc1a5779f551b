// The unmount worker and the busy-process finder on real loop volumes, in a private namespace.
#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

#include "eject/busy_process_finder.h"
#include "eject/unmount_worker.h"
#include "platform/linux/desktop_application_lookup.h"
#include "platform/linux/libmount_mount_table.h"
#include "platform/linux/posix_process_runner.h"
#include "tests/support/child_process.h"
#include "tests/support/image_volume.h"
#include "tests/support/partitioned_disk.h"
#include "tests/support/real_system.h"
#include "tests/support/recording_process_runner.h"
#include "tests/support/temporary_directory.h"
#include "tests/support/test_paths.h"

namespace quaylet {
namespace {

using testing::ImageVolume;

class EjectRealTest : public ::testing::Test {
protected:
    void SetUp() override {
        QUAYLET_REQUIRE_REAL_SYSTEM();
        ASSERT_FALSE(scratch.path().empty());
    }

    ~EjectRealTest() override {
        child.reset(); // nothing may keep a volume busy while the volumes go
        disk.reset();
        while (!volumes.empty()) {
            volumes.pop_back(); // innermost first
        }
    }

    std::string mountPoint(const std::string& name) const {
        return scratch.path() + "/mnt/" + name;
    }

    /// Mounts a new volume `name` whose image file lies in `folder`; null on failure.
    const ImageVolume* addVolume(const std::string& name, const std::string& folder,
                                 unsigned sizeMiB) {
        std::string error;
        auto volume =
            ImageVolume::create(folder + "/" + name + ".img", sizeMiB, mountPoint(name), error);
        EXPECT_TRUE(volume) << error;
        volumes.push_back(std::move(volume));
        return volumes.back().get();
    }

    /// The host volume and images A in it, B in A and C in B; D in C when `withD`.
    bool addNestedImages(bool withD) {
        const char* names[] = {"host", "a", "b", "c", "d"};
        unsigned size = 48;
        std::string folder = scratch.path();
        for (int i = 0; i < (withD ? 5 : 4); ++i, size /= 2) {
            if (addVolume(names[i], folder, size) == nullptr) {
                return false;
            }
            folder = mountPoint(names[i]);
        }
        return true;
    }

    static VolumeRecord record(const ImageVolume& volume, const std::string& name) {
        return VolumeRecord{volume.loop().path(), volume.fileSystem().mountPoint(), name,
                            volume.imageFile()};
    }

    void unmountPlan() {
        const UnmountTools tools{runner, commands, probe,
                                 [this](const VolumeRecord& volume, bool unmounted) {
                                     heard.emplace_back(volume.displayName, unmounted);
                                 }};
        unmountAll(plan, tools);
    }

    std::vector<std::string> failedNames() const {
        std::vector<std::string> names;
        for (const auto& failure : plan.failures) {
            names.push_back(failure.displayName);
        }
        return names;
    }

    testing::TemporaryDirectory scratch;
    std::vector<std::unique_ptr<ImageVolume>> volumes;
    std::unique_ptr<testing::PartitionedDisk> disk;
    std::optional<testing::ChildProcess> child;
    testing::RecordingProcessRunner runner{std::make_unique<PosixProcessRunner>()};
    ToolCommands commands =
        ToolCommands::forLinux(std::string(testing::kProgramsDir) + "/quaylet-diskutil");
    LibmountMountPointProbe probe;
    DesktopApplicationLookup applications{DesktopApplicationRoots{}};
    UnplugPlan plan;
    std::vector<std::pair<std::string, bool>> heard;
};

TEST_F(EjectRealTest, NestedImagesGoInnermostFirstAndLeaveNoFailure) {
    ASSERT_TRUE(addNestedImages(false));
    plan.dockVolumes = {record(*volumes[0], "host")};
    plan.firstLevelImages = {record(*volumes[1], "a")};
    plan.secondLevelImages = {record(*volumes[2], "b")};
    plan.thirdLevelImages = {record(*volumes[3], "c")};
    unmountPlan();
    EXPECT_EQ(heard, (std::vector<std::pair<std::string, bool>>{
                         {"c", true}, {"b", true}, {"a", true}, {"host", true}}));
    EXPECT_TRUE(plan.failures.empty());
    for (const auto& volume : volumes) {
        EXPECT_FALSE(volume->loop().isAttached()) << volume->imageFile();
    }
}

TEST_F(EjectRealTest, AnUnplannedFourthImageKeepsTheThirdBusyAndNamesNoProcess) {
    ASSERT_TRUE(addNestedImages(true));
    plan.dockVolumes = {record(*volumes[0], "host")};
    plan.firstLevelImages = {record(*volumes[1], "a")};
    plan.secondLevelImages = {record(*volumes[2], "b")};
    plan.thirdLevelImages = {record(*volumes[3], "c")};
    unmountPlan();
    EXPECT_EQ(failedNames(), (std::vector<std::string>{"c", "b", "a", "host"}));
    for (const auto& failure : plan.failures) {
        EXPECT_EQ(failure.status, 0);
        EXPECT_TRUE(failure.message.empty());
    }
    BusyProcessFinder finder(ProcessTools{runner, commands, applications});
    finder.addFailedVolumes(plan.failures);
    EXPECT_EQ(finder.findBusyProcesses(), 0u); // a loop device is no process
}

TEST_F(EjectRealTest, AChildWorkingOnAVolumeKeepsItBusyAndIsNamed) {
    ASSERT_TRUE(addVolume("busy", scratch.path(), 8) && addVolume("free", scratch.path(), 8));
    child = testing::ChildProcess::start({"/bin/sleep", "600"}, mountPoint("busy"));
    ASSERT_TRUE(child);
    plan.dockVolumes = {record(*volumes[0], "busy"), record(*volumes[1], "free")};
    unmountPlan();
    EXPECT_EQ(heard, (std::vector<std::pair<std::string, bool>>{{"busy", false}, {"free", true}}));
    EXPECT_EQ(failedNames(), std::vector<std::string>{"busy"});

    BusyProcessFinder finder(ProcessTools{runner, commands, applications});
    finder.addFailedVolumes(plan.failures);
    ASSERT_GE(finder.findBusyProcesses(), 1u);
    const BusyProcess& first = finder.busyProcesses().front();
    EXPECT_EQ(first.pid, child->pid());
    EXPECT_EQ(first.name, "sleep");
    EXPECT_EQ(first.openPaths.front(), mountPoint("busy"));
}

TEST_F(EjectRealTest, AnImageAttachedByHandIsReleasedSoItsHostUnmounts) {
    ASSERT_TRUE(addVolume("host", scratch.path(), 32));
    ASSERT_TRUE(addVolume("a", mountPoint("host"), 8));
    ASSERT_FALSE(volumes[1]->loop().autoClear());
    plan.dockVolumes = {record(*volumes[0], "host")};
    plan.firstLevelImages = {record(*volumes[1], "a")};
    unmountPlan();
    EXPECT_TRUE(plan.failures.empty());
    EXPECT_FALSE(volumes[1]->loop().isAttached());
    EXPECT_FALSE(probe.isMounted(mountPoint("host"), 0));
}

TEST_F(EjectRealTest, TwoPartitionsOfOneDiskGoInOneToolRun) {
    std::string error;
    disk = testing::PartitionedDisk::create(scratch.path() + "/disk.img", 32,
                                            {mountPoint("p1"), mountPoint("p2")}, error);
    ASSERT_TRUE(disk) << error;
    for (const auto& partition : disk->partitions()) {
        plan.dockVolumes.push_back(
            VolumeRecord{partition.device(), partition.mountPoint(), partition.device(), ""});
    }
    unmountPlan();
    EXPECT_EQ(runner.runs().size(), 1U);
    EXPECT_TRUE(plan.failures.empty());
    EXPECT_FALSE(disk->loop().isAttached());
}

TEST_F(EjectRealTest, AMountPointFullOfShellCharactersIsUnmountedAndNothingElseHappens) {
    // Were it read by a shell, the backquote and $(...) would create these two files.
    const std::string backquoteMark = scratch.path() + "/backquote-ran";
    const std::string dollarMark = scratch.path() + "/dollar-ran";
    const std::string odd = scratch.path() + "/sp ace\"`touch " + backquoteMark +
                            "`\\back\nline$(touch " + dollarMark + ")";
    std::string error;
    auto volume = ImageVolume::create(scratch.path() + "/odd.img", 8, odd, error);
    ASSERT_TRUE(volume) << error;
    volumes.push_back(std::move(volume));
    ASSERT_TRUE(probe.isMounted(odd, 0));
    plan.dockVolumes = {record(*volumes[0], "odd")};
    unmountPlan();
    EXPECT_TRUE(plan.failures.empty());
    EXPECT_FALSE(probe.isMounted(odd, 0));
    EXPECT_FALSE(std::filesystem::exists(backquoteMark));
    EXPECT_FALSE(std::filesystem::exists(dollarMark));
}

} // namespace
} // namespace quaylet
