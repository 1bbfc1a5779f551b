// Tests of launchOnLogin over a temporary XDG autostart directory, with its observer.
#include <QSignalSpy>

#include "app/autostart_entry.h"
#include "app/preferences_window.h"
#include "delegate_fixture.h"

namespace quaylet::testing {
namespace {

class LoginItemTest : public DelegateTest {
protected:
    void writeEntry(const QString& name) {
        ASSERT_TRUE(QDir().mkpath(autostart_));
        ASSERT_TRUE(writeAutostartEntry(autostart_ + "/" + name, executable_));
    }
};

TEST_F(LoginItemTest, EntryRemovedByHandFiresTheObserverAndReadsNo) {
    VLKAppDelegate& delegate = launch();
    delegate.setLaunchOnLogin(true);
    delegate.setLaunchOnLogin(true);
    EXPECT_EQ(delegate.loginItems().size(), 1);
    QCheckBox* box = delegate.preferencesWindow()->startOnLoginButton;
    EXPECT_TRUE(box->isChecked());
    QSignalSpy changed(&delegate, &VLKAppDelegate::launchOnLoginChanged);
    ASSERT_TRUE(QFile::remove(*delegate.mainBundleLoginItemCopy()));
    ASSERT_TRUE(changed.wait(5000));
    EXPECT_FALSE(delegate.launchOnLogin());
    EXPECT_FALSE(box->isChecked());
}

TEST_F(LoginItemTest, EntryPresentTwiceStaysOnAfterClearing) {
    writeEntry("a.desktop");
    writeEntry("b.desktop");
    VLKAppDelegate& delegate = launch();
    EXPECT_TRUE(delegate.launchOnLogin());
    delegate.setLaunchOnLogin(false);
    EXPECT_TRUE(delegate.launchOnLogin());
    EXPECT_EQ(delegate.loginItems(), QStringList{autostart_ + "/b.desktop"});
}

TEST_F(LoginItemTest, CheckBoxSetsTheProperty) {
    VLKAppDelegate& delegate = launch();
    QCheckBox* box = delegate.preferencesWindow()->startOnLoginButton;
    box->click();
    EXPECT_TRUE(delegate.launchOnLogin());
    box->click();
    EXPECT_FALSE(delegate.launchOnLogin());
}

TEST_F(LoginItemTest, ListThatCannotBeMadeReadsNoAndIgnoresSetting) {
    QFile blocker(dir_.filePath("config"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    VLKAppDelegate& delegate = launch(false);
    EXPECT_FALSE(delegate.launchOnLogin());
    delegate.setLaunchOnLogin(true);
    EXPECT_FALSE(delegate.launchOnLogin());
    EXPECT_TRUE(delegate.loginItems().isEmpty());
}

} // namespace
} // namespace quaylet::testing
