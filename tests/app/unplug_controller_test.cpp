// Tests of the unplug command in the tray: the scan on the main thread, the unmounting and the
// busy-process search on a worker, the completion before the busy report, re-entry and quit.
#include <poll.h>

#include <QTreeWidget>

#include "app/holders_window.h"
#include "delegate_fixture.h"

namespace quaylet::testing {
namespace {

class UnplugControllerTest : public DelegateTest {
protected:
    bool idle() {
        return until([&] { return !delegate_->unplugInProgress(); });
    }
    /// The unsafe notification; with `details` offering the Details of its holders.
    static UserNotification unsafe(const char* text, bool details = false) {
        UserNotification notification{"THUNDERBOLT_DOCK",      "UNSAFE_TO_UNPLUG_DOCK",
                                      QString::fromUtf8(text), NotificationUrgency::Critical,
                                      "device.removed",        "unplug-dock"};
        if (details) {
            notification.actions = {{"details", "DETAILS_ACTION"}};
        }
        return notification;
    }
};

TEST_F(UnplugControllerTest, UnreadableMountTableIsUnsafeAtOnce) {
    snapshot_.mounts.clear();
    launch();
    delegate_->unplugDock();
    // Decided by the scan on the main thread, before the command returns.
    EXPECT_FALSE(delegate_->unplugInProgress());
    EXPECT_EQ(delegate_->statusImageName(), "StatusUnsafe");
    ASSERT_TRUE(until([&] { return !sink_.delivered.empty(); }));
    EXPECT_EQ(sink_.delivered, std::vector{unsafe("UNREADABLE_MOUNT_TABLE")});
    EXPECT_TRUE(runner().runs().empty());
}

TEST_F(UnplugControllerTest, WhileUnmountingCommandsAndVolumeEventsWaitButTheDockShowsAtOnce) {
    snapshot_.busyProcesses.clear();
    runner().hold("diskutil");
    launch();
    delegate_->unplugDock();
    ASSERT_TRUE(runner().waitUntilHeld()); // on a worker: the main thread goes on
    delegate_->unplugEverything();
    mounts().mount({"/dev/disk9s1", "/Volumes/New", "hfs"});
    ASSERT_TRUE(until([&] {
        pollfd watched{mounts().changeDescriptor(), POLLIN, 0};
        return ::poll(&watched, 1, 0) == 0; // the change notice was taken
    }));
    EXPECT_EQ(delegate_->unplugMenuItemTitle(), "EJECTING_IN_MENU");
    registry().terminate(*registry().findEntry("Dock Upstream Bridge"));
    ASSERT_TRUE(until([&] { return delegate_->unplugMenuItemTitle() == "NO_DOCKS_IN_MENU"; }));
    EXPECT_FALSE(delegate_->busyTimer()->isActive());
    EXPECT_EQ(delegate_->statusImageName(), "StatusItem");
    runner().open();
    ASSERT_TRUE(idle());
    EXPECT_EQ(delegate_->statusImageName(), "StatusSafe");
    ASSERT_EQ(sink_.delivered.size(), 1U);
    EXPECT_EQ(sink_.delivered[0].subtitle, "SAFE_TO_UNPLUG_DOCK");
    EXPECT_TRUE(mounted("/Volumes/STICK")); // "unplug everything" never ran
}

TEST_F(UnplugControllerTest, AnUnmountStillWritingIsToldOnceWhileTheIconKeepsAnimating) {
    snapshot_.busyProcesses.clear();
    runner().hold("diskutil");
    launch();
    delegate_->unplugDock();
    // After about 1.5 s without the tool's return, from the worker's reports: no timer of ours.
    ASSERT_TRUE(until([&] { return delegate_->unplugMenuItemTitle() == "WRITING_DATA"; }));
    EXPECT_TRUE(delegate_->busyTimer()->isActive());
    EXPECT_EQ(delegate_->statusItem()->toolTip(), "Quaylet: WRITING_DATA");
    ASSERT_EQ(sink_.delivered.size(), 1U);
    EXPECT_EQ(sink_.delivered[0].subtitle, "WRITING_DATA");
    runner().open();
    ASSERT_TRUE(idle());
    ASSERT_EQ(sink_.delivered.size(), 2U); // the outcome takes the writing notice's place
    EXPECT_EQ(sink_.delivered[1].subtitle, "SAFE_TO_UNPLUG_DOCK");
    EXPECT_EQ(sink_.delivered[1].replaceKey, sink_.delivered[0].replaceKey);
}

TEST_F(UnplugControllerTest, LateBusyReportFollowsANewCommand) {
    runner().hold("lsof");
    launch();
    delegate_->unplugDock();
    ASSERT_TRUE(idle()); // the completion does not wait for the search
    EXPECT_EQ(delegate_->statusImageName(), "StatusUnsafe");
    ASSERT_TRUE(runner().waitUntilHeld());
    // The volumes go by other means; the next command finds nothing to do.
    mounts().unmountIf(
        [](const MountEntry& entry) { return entry.devicePath.starts_with("/dev/disk3"); });
    delegate_->unplugDock();
    EXPECT_EQ(delegate_->statusImageName(), "StatusSafe");
    EXPECT_TRUE(sink_.delivered.empty());
    runner().open();
    ASSERT_TRUE(until([&] { return !sink_.delivered.empty(); }));
    EXPECT_EQ(sink_.delivered, std::vector{unsafe("BUSY_VOLUME_WITH Dock SSD cp", true)});
    delegate_->showHolderDetails(); // what the Details action does
    ASSERT_TRUE(delegate_->holdersWindow());
    EXPECT_FALSE(delegate_->holdersWindow()->tree()->findItems("cp", Qt::MatchRecursive).isEmpty());
}

TEST_F(UnplugControllerTest, QuitWhileUnmountingReportsTheOutcomeFirst) {
    runner().hold("diskutil");
    launch();
    std::vector<std::size_t> deliveredWhenReady;
    QObject::connect(delegate_.get(), &VLKAppDelegate::readyToQuit,
                     [&] { deliveredWhenReady.push_back(sink_.delivered.size()); });
    delegate_->quit(); // nothing running: at once
    EXPECT_EQ(deliveredWhenReady, std::vector<std::size_t>{0});
    delegate_->unplugDock();
    ASSERT_TRUE(runner().waitUntilHeld());
    delegate_->quit(); // returns while the unmount is held
    delegate_->quit();
    delegate_->unplugEverything();
    ASSERT_EQ(sink_.delivered.size(), 1U);
    EXPECT_EQ(sink_.delivered[0].subtitle, "QUIT_WHEN_DONE");
    EXPECT_EQ(deliveredWhenReady.size(), 1U);
    runner().open();
    // Ready only once the busy-process search has reported, after the completion.
    ASSERT_TRUE(until([&] { return deliveredWhenReady.size() == 2; }));
    EXPECT_EQ(deliveredWhenReady[1], 2U);
    EXPECT_EQ(sink_.delivered[1], unsafe("BUSY_VOLUME_WITH Dock SSD cp", true));
    EXPECT_TRUE(mounted("/Volumes/STICK")); // "unplug everything" never ran
}

} // namespace
} // namespace quaylet::testing
