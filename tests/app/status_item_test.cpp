// Tests of the status item: the busy animation, the unplug item, and volume events.
#include <QAction>
#include <QPointer>

#include "app/status_menu.h"
#include "delegate_fixture.h"

namespace quaylet::testing {
namespace {

using StatusItemTest = DelegateTest;

TEST_F(StatusItemTest, EjectingAnimatesOneLiveTimerWithoutRestartingTheSequence) {
    VLKAppDelegate& delegate = launch();
    delegate.setIconAppearance(VLKIconAppearanceEjecting);
    const QPointer<const QTimer> first = delegate.busyTimer();
    delegate.setIconAppearance(VLKIconAppearanceEjecting);
    EXPECT_TRUE(first.isNull());
    ASSERT_TRUE(delegate.busyTimer()->isActive());
    std::vector<QString> shown{delegate.statusImageName()};
    for (int tick = 0; tick < 7; ++tick) {
        delegate.busyTimerFired();
        shown.push_back(delegate.statusImageName());
    }
    EXPECT_EQ(shown,
              (std::vector<QString>{"StatusBusy1", "StatusBusy2", "StatusBusy3", "StatusBusy4",
                                    "StatusBusy5", "StatusBusy6", "StatusBusy1", "StatusBusy2"}));
    delegate.setIconAppearance(VLKIconAppearanceSafe);
    EXPECT_FALSE(delegate.busyTimer()->isActive());
    delegate.setIconAppearance(VLKIconAppearanceEjecting);
    EXPECT_EQ(delegate.statusImageName(), "StatusBusy1");
    delegate.busyTimerFired();
    EXPECT_EQ(delegate.statusImageName(), "StatusBusy3");
}

TEST_F(StatusItemTest, NoDockAtLaunchThenAVolumeChangeShowsNormal) {
    useMachine("laptop_without_dock");
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
