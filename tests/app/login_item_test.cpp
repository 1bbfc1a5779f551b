// Tests of launchOnLogin over a temporary XDG autostart directory, with its observer.
#include <QSignalSpy>

#include "app/preferences_window.h"
#include "delegate_fixture.h"

namespace quaylet::testing {
namespace {

using LoginItemTest = DelegateTest;

TEST_F(LoginItemTest, CheckBoxAddsTheEntryAndRemovingItByHandReadsNo) {
    VLKAppDelegate& delegate = launch();
    QCheckBox* box = delegate.preferencesWindow()->startOnLoginButton;
    box->click();
    EXPECT_TRUE(delegate.launchOnLogin());
    delegate.setLaunchOnLogin(true);
    EXPECT_EQ(delegate.loginItems().size(), 1);
    QSignalSpy changed(&delegate, &VLKAppDelegate::launchOnLoginChanged);
    ASSERT_TRUE(QFile::remove(*delegate.mainBundleLoginItemCopy()));
    ASSERT_TRUE(changed.wait(5000));
    EXPECT_FALSE(delegate.launchOnLogin());
    EXPECT_FALSE(box->isChecked());
}

} // namespace
} // namespace quaylet::testing
