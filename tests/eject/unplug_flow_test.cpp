// The unplug command's steps on the busy-dock machine, with the release gate replaced: what the
// gate reports decides between "safe" and naming what still holds the dock.
#include <gtest/gtest.h>

#include "eject/unplug_flow.h"
#include "platform/memory/snapshot_loader.h"
#include "tests/support/fixture_machine.h"
#include "tests/support/recording_process_runner.h"

namespace quaylet {
namespace {

using Kind = RemainingHold::Kind;

struct GateCase {
    const char* name;
    ReleaseCheck check;
    bool safe;
    const char* textKey;
    const char* named; // the name in the text; null for none
};

void PrintTo(const GateCase& c, std::ostream* out) {
    *out << c.name;
}

class UnplugFlowTest : public ::testing::TestWithParam<GateCase> {
protected:
    /// The busy-dock machine with `mounts` as its table and no process holding a volume.
    Platform machine(std::optional<std::vector<MountEntry>> mounts = std::nullopt) {
        SnapshotError error;
        auto snapshot = loadSnapshot(testing::fixturePath("laptop-with-busy-dock"), error);
        EXPECT_TRUE(snapshot) << error.problem;
        snapshot->busyProcesses.clear();
        if (mounts) {
            snapshot->mounts = *mounts;
        }
        return makeSnapshotPlatform(*snapshot);
    }

    /// A gate that reports `check` and remembers what it was asked.
    ReleaseGate gate(ReleaseCheck check) {
        return [this, check](Platform&, bool everything, const std::vector<MountEntry>*) {
            askedEverything.push_back(everything);
            return check;
        };
    }

    static void expectOutcome(const UnplugOutcome& outcome, const GateCase& c) {
        EXPECT_EQ(outcome.safe, c.safe);
        EXPECT_EQ(outcome.textKey, c.textKey);
        if (c.named) {
            EXPECT_EQ(outcome.textValues, std::vector<std::string>{c.named});
        } else {
            EXPECT_TRUE(outcome.textValues.empty());
        }
    }

    std::vector<bool> askedEverything;
};

TEST_P(UnplugFlowTest, TheGateDecidesOnceEveryVolumeIsUnmountedOrWhenNothingIsPlanned) {
    const GateCase& c = GetParam();
    Platform platform = machine();
    UnplugStart start = beginUnplug(platform, true, gate({}));
    ASSERT_FALSE(start.outcome);
    EXPECT_TRUE(askedEverything.empty()) << "asked before unmounting";
    const UnplugOutcome outcome = unmountPlanned(platform, *start.plan, true, {}, gate(c.check));
    EXPECT_TRUE(start.plan->failures.empty());
    expectOutcome(outcome, c);
    EXPECT_EQ(outcome.unreadable, !c.check.complete);

    Platform bare = machine(std::vector<MountEntry>{{"/dev/disk1s1", "/", "apfs"}});
    const UnplugStart nothing = beginUnplug(bare, false, gate(c.check));
    ASSERT_TRUE(nothing.outcome);
    EXPECT_FALSE(nothing.plan);
    EXPECT_EQ(askedEverything, (std::vector<bool>{true, false}));
    expectOutcome(*nothing.outcome, c);
}

const Kind kVolume = Kind::MountedVolume;
INSTANTIATE_TEST_SUITE_P(
    Holds, UnplugFlowTest,
    ::testing::Values(
        GateCase{"Clear", {}, true, "", nullptr},
        GateCase{
            "Unreadable", {false, "/proc/swaps", {}}, false, "UNREADABLE_MOUNT_TABLE", nullptr},
        GateCase{"Volume",
                 {true,
                  "",
                  {{kVolume, "Dock Archive", "/Volumes/Dock Archive"}, {Kind::Swap, "/s", "/s"}}},
                 false,
                 "BUSY_VOLUME",
                 "Dock Archive"},
        GateCase{"Swap",
                 {true, "", {{Kind::Swap, "/dev/sdc2", "/dev/sdc2"}}},
                 false,
                 "BUSY_VOLUME",
                 "swap on /dev/sdc2"},
        GateCase{"Image",
                 {true, "", {{Kind::AttachedImage, "disk.img", "/Volumes/Dock SSD/disk.img"}}},
                 false,
                 "BUSY_VOLUME",
                 "/Volumes/Dock SSD/disk.img"}),
    [](const auto& test) { return std::string(test.param.name); });

/// A disk tool that leaves every volume mounted and says why in `line`'s first word; an
/// open-files tool that sees no process.
class RefusingTool : public UnplugFlowTest {
protected:
    UnplugOutcome unplugWith(const std::string& word, bool seesEveryProcess) {
        Platform platform = machine();
        platform.processRunner = std::make_unique<testing::RecordingProcessRunner>(
            [word](const std::vector<std::string>& argv) -> std::optional<std::string> {
                if (argv.size() > 1 && argv[1] == "unmountDisk") {
                    return word + " " + argv.back() + " (/dev/sdz1): refused\n";
                }
                return std::string();
            });
        platform.seesEveryProcess = seesEveryProcess;
        UnplugStart start = beginUnplug(platform, false, gate({}));
        EXPECT_TRUE(start.plan);
        UnplugOutcome outcome = unmountPlanned(platform, *start.plan, false, {}, gate({}));
        nameBusyProcess(platform, outcome);
        return outcome;
    }
};

TEST_F(RefusingTool, NotAllowedIsNeverInUseAndInUseUnseenIsAnotherUsers) {
    const UnplugOutcome refused = unplugWith("Not-allowed", false);
    EXPECT_FALSE(refused.safe);
    EXPECT_TRUE(refused.notAllowed);
    EXPECT_EQ(refused.textKey, "NOT_ALLOWED_VOLUME");
    EXPECT_FALSE(refused.processName);

    EXPECT_EQ(unplugWith("Busy", false).textKey, "BUSY_VOLUME_OTHER_USER");
    EXPECT_EQ(unplugWith("Busy", true).textKey, "BUSY_VOLUME"); // root sees every process
    EXPECT_EQ(unplugWith("Failed", false).textKey, "UNMOUNT_FAILED_VOLUME");
}

TEST(UnplugFlowStart, AnUnreadableMountTableIsNeverSafeAndScansNothing) {
    Platform platform = testing::loadFixture("laptop-with-unreadable-mount-table");
    bool asked = false;
    const UnplugStart start =
        beginUnplug(platform, false, [&](Platform&, bool, const std::vector<MountEntry>*) {
            asked = true;
            return ReleaseCheck{};
        });
    ASSERT_TRUE(start.outcome);
    EXPECT_FALSE(start.outcome->safe);
    EXPECT_TRUE(start.outcome->unreadable);
    EXPECT_EQ(start.outcome->textKey, "UNREADABLE_MOUNT_TABLE");
    EXPECT_FALSE(asked);
}

} // namespace
} // namespace quaylet
