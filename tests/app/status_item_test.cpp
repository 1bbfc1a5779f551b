// Tests of the status item: the busy animation, the unplug item, and volume events.
#include <QAction>
#include <QPointer>

#include "app/status_menu.h"
#include "delegate_fixture.h"

namespace quaylet::testing {
namespace {

using StatusItemTest = DelegateTest;

TEST_F(StatusItemTest, EjectingAnimatesOneLiveTimerUntilTheOutcome) {
    VLKAppDelegate& delegate = launch();
    delegate.setIconAppearance(VLKIconAppearanceEjecting);
    const QPointer<const QTimer> first = delegate.busyTimer();
    delegate.setIconAppearance(VLKIconAppearanceEjecting);
    EXPECT_TRUE(first.isNull());
    ASSERT_TRUE(delegate.busyTimer()->isActive());
    const QString shown = delegate.statusImageName();
    delegate.busyTimerFired();
    EXPECT_NE(delegate.statusImageName(), shown);
    delegate.setIconAppearance(VLKIconAppearanceSafe);
    EXPECT_FALSE(delegate.busyTimer()->isActive());
}

TEST_F(StatusItemTest, NoDockAtLaunchThenAVolumeChangeShowsNormal) {
    useMachine("laptop-without-dock");
    launch();
    QAction* item =
        delegate_->statusMenu()->findChild<QAction*>(QLatin1String(kUnplugDockItemName));
    EXPECT_EQ(item->text(), "NO_DOCKS_IN_MENU");
    EXPECT_FALSE(item->isEnabled());
    mounts().mount({"/dev/disk20s1", "/Volumes/New", "msdos"});
    EXPECT_TRUE(until([&] { return item->isEnabled(); }));
    EXPECT_EQ(item->text(), "UNPLUG_IN_MENU");
    EXPECT_EQ(delegate_->statusImageName(), "StatusItem");
}

} // namespace
} // namespace quaylet::testing
