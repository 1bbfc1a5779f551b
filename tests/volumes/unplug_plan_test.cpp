// The unplug plan's own operations: counting, clearing and copying failures out.
#include <gtest/gtest.h>

#include "volumes/unplug_plan.h"

namespace quaylet {
namespace {

VolumeRecord volume(const std::string& name) {
    return VolumeRecord{"/dev/" + name, "/media/" + name, name, ""};
}

class UnplugPlanTest : public ::testing::Test {
protected:
    UnplugPlan plan;
};

TEST_F(UnplugPlanTest, NewPlanIsEmptyAndCopiesNothingOverExistingRecords) {
    std::vector<UnmountFailure> destination{UnmountFailure::fromVolume(volume("stale"), "old", 3)};
    EXPECT_EQ(plan.volumeCount(), 0);
    EXPECT_EQ(plan.copyFailures(destination), 0);
    EXPECT_TRUE(destination.empty());
}

TEST_F(UnplugPlanTest, CountsTheFiveVolumeListsButNeverFailures) {
    plan.dockVolumes = {volume("a"), volume("a")}; // never de-duplicated
    plan.externalVolumes = {volume("b")};
    plan.firstLevelImages = {volume("c")};
    plan.secondLevelImages = {volume("d")};
    plan.thirdLevelImages = {volume("e")};
    plan.failures = {
        UnmountFailure::fromVolume(volume("a"), kBootVolumeMessage, kBootVolumeStatus)};
    EXPECT_EQ(plan.volumeCount(), 6);

    plan.clear();
    EXPECT_EQ(plan.volumeCount(), 0);
    EXPECT_TRUE(plan.failures.empty());
}

TEST_F(UnplugPlanTest, CopyFailuresReplacesTheDestinationInOrder) {
    const auto first = UnmountFailure::fromVolume(volume("a"), "", 0);
    const auto second = UnmountFailure::fromVolume(volume("b"), "", 0);
    plan.failures = {first, second};
    std::vector<UnmountFailure> destination{UnmountFailure::fromVolume(volume("x"), "", 9)};

    EXPECT_EQ(plan.copyFailures(destination), 2);
    EXPECT_EQ(destination, (std::vector<UnmountFailure>{first, second}));
}

TEST_F(UnplugPlanTest, CopyFailuresIntoItsOwnListOnlyCounts) {
    plan.failures = {UnmountFailure::fromVolume(volume("a"), "m", 1)};
    const auto before = plan.failures;
    EXPECT_EQ(plan.copyFailures(plan.failures), 1);
    EXPECT_EQ(plan.failures, before);
}

TEST_F(UnplugPlanTest, FailureKeepsTheRecordFieldsInOrder) {
    const VolumeRecord record{"/dev/loop3", "/media/img", "Image", "/media/dock/x.img"};
    const auto failure = UnmountFailure::fromVolume(record, "why", -2);
    EXPECT_EQ(failure.devicePath, "/dev/loop3");
    EXPECT_EQ(failure.mountPoint, "/media/img");
    EXPECT_EQ(failure.displayName, "Image");
    EXPECT_EQ(failure.imagePath, "/media/dock/x.img");
    EXPECT_EQ(failure.message, "why");
    EXPECT_EQ(failure.status, -2);
}

} // namespace
} // namespace quaylet
