// The unmount worker over a scripted disk tool and a mount table held in memory.
#include <algorithm>
#include <chrono>
#include <map>
#include <set>
#include <thread>

#include <sys/sysmacros.h>

#include <gtest/gtest.h>

#include "eject/unmount_worker.h"
#include "tests/support/recording_process_runner.h"

namespace quaylet {
namespace {

using testing::RecordingProcessRunner;

/// Mount points that are mounted, and which of them the tool takes off. With `pathsAnswer`,
/// a mount point tells whether its volume is on top, except one `hidden` by a mount over its
/// parent, which looks unmounted there and shows only in the table.
class FakeMounts : public MountPointProbe {
public:
    bool isMounted(const std::string& mountPoint, std::uint64_t) const override {
        tableQuestions.push_back(mountPoint);
        return mounted.count(mountPoint) != 0;
    }
    std::optional<bool> askMountPoint(const std::string& mountPoint, std::uint64_t) const override {
        if (!pathsAnswer) {
            return std::nullopt;
        }
        return hidden.count(mountPoint) == 0 && mounted.count(mountPoint) != 0;
    }
    std::set<std::string> mounted;
    std::set<std::string> hidden;
    bool pathsAnswer = false;
    mutable std::vector<std::string> tableQuestions;
};

VolumeRecord volume(const std::string& name) {
    return VolumeRecord{"/dev/" + name, "/media/" + name, name, "", makedev(7, 0)};
}

class UnmountWorkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"c", "b", "a", "dock1", "dock2", "ext"}) {
            mounts.mounted.insert(std::string("/media/") + name);
        }
    }

    /// The disk tool unmounts the volume unless busy.
    std::optional<std::string> diskTool(const std::vector<std::string>& argv) {
        if (!toolStarts) {
            return std::nullopt;
        }
        const std::string& target = argv.back();
        if (const auto words = says.find(target); words != says.end()) {
            return words->second; // stays mounted, for the reason its lines give
        }
        if (const auto flushed = flush.flushed();
            tools.flush != nullptr &&
            std::find(flushed.begin(), flushed.end(), target) == flushed.end()) {
            heard.emplace_back("unflushed " + target, false);
        }
        std::this_thread::sleep_for(toolTime);
        if (busy.count(target) == 0) {
            mounts.mounted.erase(target);
        }
        return std::string("Unmount of all volumes on disk was successful\n");
    }

    std::vector<std::string> toolTargets() const {
        std::vector<std::string> targets;
        for (const auto& argv : runner.runs()) {
            targets.push_back(argv.back());
        }
        return targets;
    }

    FakeMounts mounts;
    std::set<std::string> busy;
    std::map<std::string, std::string> says; ///< The tool's lines for a volume that stays.
    bool toolStarts = true;
    std::chrono::milliseconds toolTime{0};
    MemoryVolumeFlush flush;
    RecordingProcessRunner runner{[this](const auto& argv) {
        return diskTool(argv);
    }};
    ToolCommands commands = ToolCommands::forLinux("/usr/bin/quaylet-diskutil");
    std::vector<std::pair<std::string, bool>> heard;
    UnmountTools tools{runner, commands, mounts, [this](const VolumeRecord& v, bool unmounted) {
                           heard.emplace_back(v.displayName, unmounted);
                       }};
    UnplugPlan plan;
};

TEST_F(UnmountWorkerTest, UnmountsInnermostImagesFirstThenDockThenExternal) {
    plan.externalVolumes = {volume("ext")};
    plan.dockVolumes = {volume("dock1"), volume("dock2")};
    plan.firstLevelImages = {volume("a")};
    plan.secondLevelImages = {volume("b")};
    plan.thirdLevelImages = {volume("c")};
    unmountAll(plan, tools);
    EXPECT_EQ(toolTargets(),
              (std::vector<std::string>{"/media/c", "/media/b", "/media/a", "/media/dock1",
                                        "/media/dock2", "/media/ext"}));
    EXPECT_TRUE(plan.failures.empty());
}

TEST_F(UnmountWorkerTest, BusyVolumeFailsWithStatusZeroAndTheNextIsStillTried) {
    plan.secondLevelImages = {VolumeRecord{"/dev/loop4", "/media/b", "Backup", "/media/a/b.img"}};
    plan.dockVolumes = {volume("dock1")};
    plan.failures = {UnmountFailure::fromVolume(volume("old"), "is the boot volume", -47)};
    busy.insert("/media/b");
    unmountAll(plan, tools);
    ASSERT_EQ(plan.failures.size(), 1u);
    EXPECT_EQ(plan.failures[0],
              (UnmountFailure{"/dev/loop4", "/media/b", "Backup", "/media/a/b.img", "", 0}));
    EXPECT_EQ(toolTargets(), (std::vector<std::string>{"/media/b", "/media/dock1"}));
    EXPECT_EQ(heard,
              (std::vector<std::pair<std::string, bool>>{{"Backup", false}, {"dock1", true}}));
}

TEST_F(UnmountWorkerTest, TheToolsLineAboutTheVolumeSaysWhyItStayed) {
    plan.dockVolumes = {volume("dock1"), volume("dock2")};
    says["/media/dock1"] = "Busy /media/dock2 (/dev/sdb2)\n"
                           "Not-allowed /media/dock1 (/dev/sdb1) through udisks: not authorized\n";
    says["/media/dock2"] = "Unmounted /media/dock1 (/dev/sdb1)\nFailed /media/x (/dev/sdb3)\n";
    unmountAll(plan, tools);
    ASSERT_EQ(plan.failures.size(), 2u);
    EXPECT_EQ(plan.failures[0].cause, UnmountCause::notAllowed);
    EXPECT_EQ(plan.failures[1].cause, UnmountCause::failed); // no line of its own: the first
}

TEST_F(UnmountWorkerTest, EachVolumeAfterTheFirstIsFlushedBeforeItsUnmountAndSlowOnesReported) {
    plan.dockVolumes = {volume("dock1"), volume("dock2")};
    plan.externalVolumes = {volume("ext")};
    toolTime = std::chrono::milliseconds(150);
    const MemoryWritebackGauge gauge(WritebackReading{5'000'000, std::nullopt});
    tools.flush = &flush;
    tools.gauge = &gauge;
    // Reported 20 ms into each unmount, and only once each: the next would be due in a minute.
    tools.watchTimes = {std::chrono::milliseconds(20), std::chrono::minutes(1)};
    tools.onWriting = [this](const VolumeRecord& v, const WritebackReading& left) {
        heard.emplace_back("writing " + v.displayName, left.deviceBytes == 5'000'000U);
    };
    unmountAll(plan, tools);
    // The first is unmounted at once, which writes its data out as early as a flush would.
    EXPECT_EQ(heard, (std::vector<std::pair<std::string, bool>>{{"unflushed /media/dock1", false},
                                                                {"writing dock1", true},
                                                                {"dock1", true},
                                                                {"writing dock2", true},
                                                                {"dock2", true},
                                                                {"writing ext", true},
                                                                {"ext", true}}));
}

TEST_F(UnmountWorkerTest, APathJudgesOnlyAVolumeItShowedOnTopAndTheTableTheRest) {
    mounts.pathsAnswer = true;
    mounts.hidden.insert("/media/dock2"); // looks gone at its path, yet is mounted
    busy.insert("/media/dock1");
    plan.dockVolumes = {volume("dock1"), volume("dock2"), volume("ext")};
    unmountAll(plan, tools);
    EXPECT_EQ(toolTargets(),
              (std::vector<std::string>{"/media/dock1", "/media/dock2", "/media/ext"}));
    ASSERT_EQ(plan.failures.size(), 1u);
    EXPECT_EQ(plan.failures[0].mountPoint, "/media/dock1");
    // The hidden volume is judged by the table before and after its run, the others not at all.
    EXPECT_EQ(mounts.tableQuestions, (std::vector<std::string>{"/media/dock2", "/media/dock2"}));
}

TEST_F(UnmountWorkerTest, LittleUnwrittenDataIsLeftToTheUnmountsAndAnUnknownAmountIsFlushed) {
    plan.dockVolumes = {volume("dock1"), volume("dock2"), volume("ext")};
    tools.flush = &flush;
    const MemoryWritebackGauge little(WritebackReading{std::nullopt, 200'000});
    tools.gauge = &little;
    unmountAll(plan, tools);
    EXPECT_TRUE(flush.flushed().empty());

    for (const char* name : {"dock1", "dock2", "ext"}) {
        mounts.mounted.insert(std::string("/media/") + name);
    }
    const MemoryWritebackGauge unknown;
    tools.gauge = &unknown;
    unmountAll(plan, tools);
    std::vector<std::string> flushed = flush.flushed(); // begun side by side, in any order
    std::ranges::sort(flushed);
    EXPECT_EQ(flushed, (std::vector<std::string>{"/media/dock2", "/media/ext"}));
}

TEST_F(UnmountWorkerTest, ToolThatCannotStartFailsOnlyVolumesStillMounted) {
    toolStarts = false;
    mounts.mounted.erase("/media/a");
    plan.dockVolumes = {volume("a"), volume("dock1")};
    unmountAll(plan, tools);
    EXPECT_EQ(toolTargets(), std::vector<std::string>{"/media/dock1"});
    ASSERT_EQ(plan.failures.size(), 1u);
    EXPECT_EQ(plan.failures[0].mountPoint, "/media/dock1");
}

} // namespace
} // namespace quaylet
