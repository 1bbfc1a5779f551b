// Tests of the unplug command on snapshot machines: outcomes, notifications, ordering across
// threads, re-entry, and what happens to the mounts.
#include <algorithm>
#include <ostream>

#include <poll.h>

#include <QCoreApplication>

#include "delegate_fixture.h"

namespace quaylet::testing {
namespace {

const std::string kDockSsd = "/Volumes/Dock SSD";
const std::string kDockArchive = "/Volumes/Dock Archive";

// Whether `descriptor` has something to read: a change notice not yet taken.
bool readable(int descriptor) {
    pollfd watched{descriptor, POLLIN, 0};
    return ::poll(&watched, 1, 0) == 1;
}

class UnplugControllerTest : public DelegateTest {
protected:
    bool idle() {
        return until([&] { return !delegate_->unplugInProgress(); });
    }
    bool mounted(const std::string& mountPoint) {
        const std::vector<std::string> points = mountPoints();
        return std::find(points.begin(), points.end(), mountPoint) != points.end();
    }
    /// The mount points the open-files tool was asked about, over all its runs.
    std::vector<std::string> searchedPaths() {
        std::vector<std::string> paths;
        for (const auto& argv : runner().commands()) {
            if (argv.front().ends_with("lsof")) {
                std::copy_if(argv.begin() + 1, argv.end(), std::back_inserter(paths),
                             [](const std::string& a) { return a.starts_with("/"); });
            }
        }
        return paths;
    }
    const UserNotification kSafe{"THUNDERBOLT_DOCK",          "SAFE_TO_UNPLUG_DOCK", std::nullopt,
                                 NotificationUrgency::Normal, "device.removed",      "unplug-dock"};
    UserNotification unsafe(const char* text) {
        return {"THUNDERBOLT_DOCK",      "UNSAFE_TO_UNPLUG_DOCK",
                QString::fromUtf8(text), NotificationUrgency::Critical,
                "device.removed",        "unplug-dock"};
    }
};

TEST_F(UnplugControllerTest, NothingToUnplugIsSafeAtOnce) {
    std::erase_if(snapshot_.mounts, [](const MountEntry& entry) {
        return entry.mountPoint.starts_with("/Volumes/");
    });
    launch();
    delegate_->unplugDock();
    EXPECT_EQ(delegate_->statusImageName(), "StatusSafe");
    delegate_->unplugEverything();
    EXPECT_EQ(delegate_->statusImageName(), "StatusSafe");
    EXPECT_FALSE(delegate_->unplugInProgress());
    QCoreApplication::processEvents();
    EXPECT_TRUE(sink_.delivered.empty());
    EXPECT_TRUE(runner().commands().empty());
}

TEST_F(UnplugControllerTest, BootVolumeBehindTheDockIsRefusedAndNothingUnmounted) {
    useMachine("laptop_booted_from_dock");
    snapshot_.displayNames["/"] = "Dock %1 SSD"; // a directive in a name is text
    launch();
    const std::vector<std::string> before = mountPoints();
    delegate_->unplugDock();
    EXPECT_FALSE(delegate_->unplugInProgress());
    EXPECT_EQ(delegate_->busyTimer(), nullptr); // never ejecting, not even for a moment
    EXPECT_EQ(delegate_->statusImageName(), "StatusUnsafe");
    EXPECT_TRUE(sink_.delivered.empty()); // posted through the main queue, not at once
    ASSERT_TRUE(until([&] { return !sink_.delivered.empty(); }));
    EXPECT_EQ(sink_.delivered, std::vector{unsafe("BUSY_BOOT_VOLUME Dock %1 SSD")});
    EXPECT_TRUE(runner().commands().empty());
    EXPECT_EQ(mountPoints(), before);
}

TEST_F(UnplugControllerTest, UnreadableMountTableIsUnsafeAndSaysSo) {
    snapshot_.mounts.clear();
    launch();
    delegate_->unplugDock();
    EXPECT_FALSE(delegate_->unplugInProgress());
    EXPECT_EQ(delegate_->statusImageName(), "StatusUnsafe");
    ASSERT_TRUE(until([&] { return !sink_.delivered.empty(); }));
    EXPECT_EQ(sink_.delivered, std::vector{unsafe("UNREADABLE_MOUNT_TABLE")});
    EXPECT_TRUE(runner().commands().empty());
}

TEST_F(UnplugControllerTest, AllUnmountedIsSafeWithOneNotification) {
    snapshot_.busyProcesses.clear();
    launch();
    delegate_->unplugDock();
    EXPECT_TRUE(delegate_->unplugInProgress());
    ASSERT_TRUE(idle());
    EXPECT_EQ(delegate_->statusImageName(), "StatusSafe");
    EXPECT_EQ(sink_.delivered, std::vector{kSafe});
    EXPECT_EQ(sink_.imagesAtDelivery, std::vector<QString>{"StatusSafe"});
    EXPECT_FALSE(mounted(kDockSsd));
    EXPECT_FALSE(mounted(kDockArchive));
    EXPECT_TRUE(mounted("/Volumes/STICK")); // not behind the dock
    EXPECT_EQ(runner().runsOf("lsof"), 0U);
}

struct FailureCase {
    const char* name;
    bool busyProcess;        // cp keeps a file open on the second volume
    const char* application; // the desktop application cp belongs to, if any
    bool diskToolMissing;
    const char* text;
};

// Names the case in test logs instead of its bytes.
void PrintTo(const FailureCase& c, std::ostream* out) {
    *out << c.name;
}

class UnplugFailureTest : public UnplugControllerTest,
                          public ::testing::WithParamInterface<FailureCase> {};

TEST_P(UnplugFailureTest, FirstFailedVolumeAndAnyBusyProcessAreNamedAfterTheIcon) {
    const FailureCase& c = GetParam();
    if (!c.busyProcess) {
        snapshot_.busyProcesses.clear();
    } else if (c.application) {
        snapshot_.busyProcesses.front().application = c.application;
    }
    if (c.diskToolMissing) {
        runner().refuse("diskutil");
    }
    launch();
    delegate_->unplugDock();
    ASSERT_TRUE(until([&] { return !sink_.delivered.empty(); }));
    EXPECT_EQ(sink_.delivered, std::vector{unsafe(c.text)});
    EXPECT_EQ(sink_.imagesAtDelivery, std::vector<QString>{"StatusUnsafe"});
    EXPECT_TRUE(mounted(kDockSsd));
    EXPECT_TRUE(mounted(kDockArchive));
    // The finder is given every failed volume, so a process on the second one is found.
    EXPECT_EQ(searchedPaths(), (std::vector<std::string>{kDockSsd, kDockArchive}));
}

INSTANTIATE_TEST_SUITE_P(Outcomes, UnplugFailureTest,
                         ::testing::Values(FailureCase{"ProcessOnSecond", true, nullptr, false,
                                                       "BUSY_VOLUME_WITH Dock SSD cp"},
                                           FailureCase{"Application", true, "Files", false,
                                                       "BUSY_VOLUME_WITH Dock SSD Files"},
                                           FailureCase{"NoProcess", false, nullptr, true,
                                                       "BUSY_VOLUME Dock SSD"}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(UnplugControllerTest, CommandWhileUnmountingIsIgnored) {
    snapshot_.busyProcesses.clear();
    runner().hold("diskutil");
    launch();
    delegate_->unplugDock();
    const QTimer* timer = delegate_->busyTimer();
    delegate_->unplugEverything();
    EXPECT_EQ(delegate_->statusImageName(), "StatusBusy1");
    EXPECT_EQ(delegate_->busyTimer(), timer);
    ASSERT_TRUE(runner().waitUntilHeld());
    // A volume event does not touch the icon either.
    mounts().mount({"/dev/disk9s1", "/Volumes/New", "hfs"});
    ASSERT_TRUE(until([&] { return !readable(mounts().changeDescriptor()); }));
    EXPECT_EQ(delegate_->unplugMenuItemTitle(), "EJECTING_IN_MENU");
    EXPECT_TRUE(timer->isActive());
    runner().open();
    ASSERT_TRUE(idle());
    EXPECT_EQ(delegate_->statusImageName(), "StatusSafe");
    EXPECT_TRUE(mounted("/Volumes/STICK")); // "unplug everything" never ran
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
    EXPECT_EQ(sink_.delivered, std::vector{unsafe("BUSY_VOLUME_WITH Dock SSD cp")});
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
    EXPECT_EQ(sink_.delivered[1], unsafe("BUSY_VOLUME_WITH Dock SSD cp"));
    EXPECT_TRUE(mounted("/Volumes/STICK")); // "unplug everything" never ran
}

TEST_F(UnplugControllerTest, DockLeavingWhileEjectingShowsUntilCompletion) {
    snapshot_.busyProcesses.clear();
    runner().hold("diskutil");
    launch();
    delegate_->unplugDock();
    ASSERT_TRUE(runner().waitUntilHeld());
    registry().terminate(*registry().findEntry("Dock Upstream Bridge"));
    ASSERT_TRUE(until([&] { return delegate_->unplugMenuItemTitle() == "NO_DOCKS_IN_MENU"; }));
    EXPECT_FALSE(delegate_->busyTimer()->isActive());
    EXPECT_EQ(delegate_->statusImageName(), "StatusItem");
    EXPECT_TRUE(delegate_->unplugInProgress());
    runner().open();
    ASSERT_TRUE(idle());
    EXPECT_EQ(delegate_->statusImageName(), "StatusSafe");
    EXPECT_EQ(sink_.delivered, std::vector{kSafe});
}

} // namespace
} // namespace quaylet::testing
