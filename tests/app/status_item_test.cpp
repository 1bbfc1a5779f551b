// Tests of the status item: appearances, busy animation, unplug item, dock and volume events.
#include <QAction>
#include <QPointer>

#include "app/status_menu.h"
#include "delegate_fixture.h"

namespace quaylet::testing {
namespace {

class StatusItemTest : public DelegateTest {
protected:
    QAction* unplugItem() {
        return delegate_->statusMenu()->findChild<QAction*>(QLatin1String(kUnplugDockItemName));
    }
    void expectShows(const char* image, const char* title, bool enabled) {
        EXPECT_EQ(delegate_->statusImageName(), image);
        EXPECT_EQ(delegate_->unplugMenuItemTitle(), title);
        EXPECT_EQ(unplugItem()->text(), title);
        EXPECT_EQ(unplugItem()->isEnabled(), enabled);
    }
};

TEST_F(StatusItemTest, EachCodeSetsTitleStateAndImage) {
    VLKAppDelegate& delegate = launch();
    const struct {
        VLKIconAppearance code;
        const char* image;
        const char* title;
        bool enabled;
    } rows[] = {{1, "StatusItem", "NO_DOCKS_IN_MENU", false},
                {3, "StatusSafe", "SAFE_TO_UNPLUG_DOCK_IN_MENU", true},
                {2, "StatusBusy1", "EJECTING_IN_MENU", false},
                {4, "StatusUnsafe", "UNPLUG_IN_MENU", true},
                {1, "StatusItem", "NO_DOCKS_IN_MENU", false},
                {7, "StatusItem", "UNPLUG_IN_MENU", true},
                {1, "StatusItem", "NO_DOCKS_IN_MENU", false},
                {-1, "StatusItem", "UNPLUG_IN_MENU", true},
                {0, "StatusItem", "UNPLUG_IN_MENU", true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.code);
        delegate.setIconAppearance(row.code);
        expectShows(row.image, row.title, row.enabled);
        EXPECT_EQ(delegate.busyTimer() && delegate.busyTimer()->isActive(), row.code == 2);
        EXPECT_TRUE(delegate.statusItem()->icon().isMask());
    }
    // The state in words, for screen readers, which read the tooltip and not the picture.
    delegate.setIconAppearance(VLKIconAppearanceUnsafe);
    EXPECT_EQ(delegate.statusItem()->toolTip(), "Quaylet: UNSAFE_TO_UNPLUG_DOCK");
}

TEST_F(StatusItemTest, FrameSequenceFromAFreshStartNeverResets) {
    VLKAppDelegate& delegate = launch();
    delegate.setIconAppearance(VLKIconAppearanceEjecting);
    std::vector<QString> shown{delegate.statusImageName()};
    for (int tick = 0; tick < 7; ++tick) {
        delegate.busyTimerFired();
        shown.push_back(delegate.statusImageName());
    }
    EXPECT_EQ(shown,
              (std::vector<QString>{"StatusBusy1", "StatusBusy2", "StatusBusy3", "StatusBusy4",
                                    "StatusBusy5", "StatusBusy6", "StatusBusy1", "StatusBusy2"}));
    delegate.setIconAppearance(VLKIconAppearanceSafe);
    delegate.setIconAppearance(VLKIconAppearanceEjecting);
    EXPECT_EQ(delegate.statusImageName(), "StatusBusy1");
    delegate.busyTimerFired();
    EXPECT_EQ(delegate.statusImageName(), "StatusBusy3");
}

TEST_F(StatusItemTest, EjectingTwiceLeavesOneLiveTimer) {
    VLKAppDelegate& delegate = launch();
    delegate.setIconAppearance(VLKIconAppearanceEjecting);
    const QPointer<const QTimer> first = delegate.busyTimer();
    delegate.setIconAppearance(VLKIconAppearanceEjecting);
    EXPECT_TRUE(first.isNull());
    ASSERT_TRUE(delegate.busyTimer()->isActive());
    EXPECT_TRUE(until([&] { return delegate.busyFrameIndex() == 2; }));
    delegate.setIconAppearance(VLKIconAppearanceSafe);
    EXPECT_FALSE(delegate.busyTimer()->isActive());
    EXPECT_EQ(delegate.statusImageName(), "StatusSafe");
}

TEST_F(StatusItemTest, MenuWithoutUnplugItemOnlyChangesTheTitle) {
    VLKAppDelegate& delegate = launch();
    auto menu = std::make_unique<QMenu>();
    QAction* other = menu->addAction("Other");
    delegate.setStatusMenu(std::move(menu));
    delegate.setIconAppearance(VLKIconAppearanceNoDocks);
    EXPECT_EQ(delegate.unplugMenuItemTitle(), "NO_DOCKS_IN_MENU");
    EXPECT_TRUE(other->isEnabled());
    EXPECT_EQ(delegate.statusItem()->contextMenu(), delegate.statusMenu());
}

TEST_F(StatusItemTest, DockCountsReachTheIconThroughTheMonitorsPort) {
    launch();
    expectShows("StatusItem", "UNPLUG_IN_MENU", true);
    delegate_->setIconAppearance(VLKIconAppearanceEjecting);
    registry().terminate(*registry().findEntry("Dock Upstream Bridge"));
    ASSERT_TRUE(until([&] { return delegate_->unplugMenuItemTitle() == "NO_DOCKS_IN_MENU"; }));
    expectShows("StatusItem", "NO_DOCKS_IN_MENU", false);
    EXPECT_FALSE(delegate_->busyTimer()->isActive());
    // The dock's presence device comes back on its own: one sighting is enough.
    registry().publish(registry().addEntry(
        registry().findEntry("IOResources"),
        {"IOUSBHostDevice",
         {"IOUSBDevice", "IOService"},
         "USB Billboard Device@2a347000",
         {{"idVendor", std::int64_t{0x2109}}, {"idProduct", std::int64_t{0x8884}}}}));
    ASSERT_TRUE(until([&] { return delegate_->unplugMenuItemTitle() == "UNPLUG_IN_MENU"; }));
    expectShows("StatusItem", "UNPLUG_IN_MENU", true);
}

TEST_F(StatusItemTest, NoDockAtLaunchThenAVolumeChangeShowsNormal) {
    useMachine("laptop_without_dock");
    launch();
    expectShows("StatusItem", "NO_DOCKS_IN_MENU", false);
    mounts().mount({"/dev/disk20s1", "/Volumes/New", "msdos"});
    EXPECT_TRUE(until([&] { return unplugItem()->isEnabled(); }));
    expectShows("StatusItem", "UNPLUG_IN_MENU", true);
}

} // namespace
} // namespace quaylet::testing
