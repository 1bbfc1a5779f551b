// Tests of the unplug command: outcomes, notifications, ordering across threads, re-entry.
#include "delegate_fixture.h"

namespace quaylet::testing {
namespace {

VolumeRecord volume(const char* name) {
    return VolumeRecord{std::string("/dev/") + name, std::string("/media/") + name, name, ""};
}

// A scan that plans `count` dock volumes.
void planVolumes(std::int32_t count) {
    coreScript().scan = [count](UnplugPlan& plan, bool, bool&) {
        for (std::int32_t i = 0; i < count; ++i) {
            plan.dockVolumes.push_back(volume(i == 0 ? "First" : "Second"));
        }
        return count;
    };
}

// An unmount that leaves the named volumes mounted.
void failVolumes(std::vector<VolumeRecord> volumes) {
    coreScript().unmount = [volumes](UnplugPlan& plan) {
        for (const VolumeRecord& record : volumes) {
            plan.failures.push_back(UnmountFailure::fromVolume(record, "busy", 16));
        }
    };
}

class UnplugControllerTest : public DelegateTest {
protected:
    void SetUp() override {
        DelegateTest::SetUp();
        coreScript().initialDocks = 1;
        launch();
    }
    bool idle() {
        return until([&] { return !delegate_->unplugInProgress(); });
    }
    const UserNotification kSafe{"THUNDERBOLT_DOCK", "SAFE_TO_UNPLUG_DOCK", std::nullopt};
    UserNotification unsafe(const char* text) {
        return {"THUNDERBOLT_DOCK", "UNSAFE_TO_UNPLUG_DOCK", QString::fromUtf8(text)};
    }
};

TEST_F(UnplugControllerTest, NothingToUnplugIsSafeAtOnce) {
    delegate_->unplugDock();
    delegate_->unplugEverything();
    EXPECT_EQ(coreScript().scanEverything, (std::vector<bool>{false, true}));
    EXPECT_EQ(delegate_->statusImageName(), "StatusSafe");
    QTest::qWait(50);
    EXPECT_TRUE(sink_.delivered.empty());
    EXPECT_EQ(coreScript().unmountCalls, 0);
}

TEST_F(UnplugControllerTest, BootVolumeBehindTheDockIsRefused) {
    coreScript().scan = [](UnplugPlan& plan, bool, bool& boot) {
        plan.dockVolumes.push_back(volume("First"));
        plan.failures.push_back(UnmountFailure::fromVolume(volume("Root %1"), "boot", -47));
        boot = true;
        return 1;
    };
    delegate_->unplugDock();
    EXPECT_FALSE(delegate_->unplugInProgress());
    EXPECT_EQ(delegate_->statusImageName(), "StatusUnsafe");
    EXPECT_TRUE(sink_.delivered.empty()); // posted through the main queue, not at once
    ASSERT_TRUE(until([&] { return !sink_.delivered.empty(); }));
    EXPECT_EQ(sink_.delivered, std::vector{unsafe("BUSY_BOOT_VOLUME Root %1")});
    EXPECT_EQ(coreScript().unmountCalls, 0);
}

TEST_F(UnplugControllerTest, BootVolumeWithoutFailureRecordPostsNothing) {
    coreScript().scan = [](UnplugPlan&, bool, bool& boot) {
        boot = true;
        return 0;
    };
    delegate_->unplugDock();
    QTest::qWait(50);
    EXPECT_EQ(delegate_->statusImageName(), "StatusUnsafe");
    EXPECT_TRUE(sink_.delivered.empty());
}

TEST_F(UnplugControllerTest, AllUnmountedIsSafeWithOneNotification) {
    planVolumes(2);
    delegate_->unplugDock();
    EXPECT_TRUE(delegate_->unplugInProgress());
    ASSERT_TRUE(idle());
    EXPECT_EQ(delegate_->statusImageName(), "StatusSafe");
    EXPECT_EQ(sink_.delivered, std::vector{kSafe});
    EXPECT_EQ(sink_.imagesAtDelivery, std::vector<QString>{"StatusSafe"});
}

TEST_F(UnplugControllerTest, FirstFailureAndAnyBusyProcessAreNamedAfterTheIcon) {
    const struct {
        std::vector<BusyProcess> found;
        VolumeRecord first;
        const char* text;
    } cases[] = {{{}, volume("First"), "BUSY_VOLUME First"},
                 {{{42, "cp", {"/media/Second/f"}}}, volume("First"), "BUSY_VOLUME_WITH First cp"},
                 {{{42, "", {"/media/Second/f"}}}, volume("First"), "BUSY_VOLUME First"},
                 {{{7, "cp", {"/x"}}},
                  VolumeRecord{"/dev/sdz1", "/media/z", "", ""},
                  "BUSY_VOLUME_WITH  cp"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        sink_.delivered.clear();
        sink_.imagesAtDelivery.clear();
        planVolumes(2);
        failVolumes({c.first, volume("Second")});
        coreScript().findBusy = [found = c.found](const std::vector<std::string>&) {
            return found;
        };
        delegate_->unplugDock();
        ASSERT_TRUE(until([&] { return !sink_.delivered.empty(); }));
        EXPECT_EQ(sink_.delivered, std::vector{unsafe(c.text)});
        EXPECT_EQ(sink_.imagesAtDelivery, std::vector<QString>{"StatusUnsafe"});
        EXPECT_EQ(coreScript().searchedPaths,
                  (std::vector<std::string>{c.first.mountPoint, "/media/Second"}));
    }
}

TEST_F(UnplugControllerTest, CommandWhileUnmountingIsIgnored) {
    Gate gate;
    planVolumes(1);
    coreScript().unmount = [&gate](UnplugPlan&) {
        gate.wait();
    };
    delegate_->unplugDock();
    const QTimer* timer = delegate_->busyTimer();
    delegate_->unplugEverything();
    EXPECT_EQ(coreScript().scanCalls, 1);
    EXPECT_EQ(delegate_->statusImageName(), "StatusBusy1");
    mountMonitor_->trigger(); // a volume event does not touch the icon either
    QTest::qWait(100);
    EXPECT_EQ(delegate_->unplugMenuItemTitle(), "EJECTING_IN_MENU");
    EXPECT_EQ(delegate_->busyTimer(), timer);
    EXPECT_TRUE(timer->isActive());
    gate.open();
    ASSERT_TRUE(idle());
    EXPECT_EQ(delegate_->statusImageName(), "StatusSafe");
}

TEST_F(UnplugControllerTest, LateBusyReportFollowsANewCommand) {
    Gate gate;
    planVolumes(1);
    failVolumes({volume("First")});
    coreScript().findBusy = [&gate](const std::vector<std::string>&) {
        gate.wait();
        return std::vector<BusyProcess>{{42, "cp", {"/media/First/f"}}};
    };
    delegate_->unplugDock();
    ASSERT_TRUE(idle());
    EXPECT_EQ(delegate_->statusImageName(), "StatusUnsafe");
    planVolumes(0);
    delegate_->unplugDock();
    EXPECT_EQ(delegate_->statusImageName(), "StatusSafe");
    gate.open();
    ASSERT_TRUE(until([&] { return !sink_.delivered.empty(); }));
    EXPECT_EQ(sink_.delivered, std::vector{unsafe("BUSY_VOLUME_WITH First cp")});
}

TEST_F(UnplugControllerTest, DockCountChangeWhileEjectingShowsUntilCompletion) {
    Gate gate;
    planVolumes(1);
    coreScript().unmount = [&gate](UnplugPlan&) {
        gate.wait();
    };
    delegate_->unplugDock();
    delegate_->dockCountChangedTo(0);
    EXPECT_FALSE(delegate_->busyTimer()->isActive());
    EXPECT_EQ(delegate_->unplugMenuItemTitle(), "NO_DOCKS_IN_MENU");
    gate.open();
    ASSERT_TRUE(idle());
    EXPECT_EQ(delegate_->statusImageName(), "StatusSafe");
}

} // namespace
} // namespace quaylet::testing
