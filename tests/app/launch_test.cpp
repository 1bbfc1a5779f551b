// Tests of launch and first run, the login item and its observer, the privacy settings button
// and the focus-free window.
#include <QSignalSpy>

#include "app/preferences_window.h"
#include "app/vlk_success_window.h"
#include "delegate_fixture.h"

namespace quaylet::testing {
namespace {

class LaunchTest : public DelegateTest {
protected:
    QStringList entries() const { return QDir(autostart_).entryList({"*.desktop"}, QDir::Files); }
};

TEST_F(LaunchTest, OnlyTheFirstLaunchAddsTheLoginItemAndShowsPreferencesWithoutActivating) {
    launch(false);
    EXPECT_EQ(entries(), QStringList{"quaylet.desktop"});
    EXPECT_TRUE(delegate_->preferencesWindow()->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_TRUE(delegate_->preferencesWindow()->startOnLoginButton->isChecked());
    delegate_->setLaunchOnLogin(false);
    delegate_.reset();
    launch(false);
    EXPECT_TRUE(entries().isEmpty());
    EXPECT_FALSE(delegate_->preferencesWindow()->isVisible());
}

TEST_F(LaunchTest, CheckBoxAddsTheLoginItemAndRemovingItByHandReadsNo) {
    VLKAppDelegate& delegate = launch();
    QCheckBox* box = delegate.preferencesWindow()->startOnLoginButton;
    box->click();
    EXPECT_EQ(delegate.loginItems().size(), 1);
    QSignalSpy changed(&delegate, &VLKAppDelegate::launchOnLoginChanged);
    ASSERT_TRUE(QFile::remove(*delegate.mainBundleLoginItemCopy()));
    ASSERT_TRUE(changed.wait(5000));
    EXPECT_FALSE(delegate.launchOnLogin());
    EXPECT_FALSE(box->isChecked());
}

TEST_F(LaunchTest, UnwritableSettingsNeverMakeAFirstRunNorALoginItem) {
    // Neither the settings file's folder nor the autostart list can be made: "hasEverRun"
    // could never be recorded, and a login item never kept.
    for (const char* blocked : {"Pemrix", "config"}) {
        QFile blocker(dir_.filePath(blocked));
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    for (int run = 0; run < 2; ++run) {
        delegate_.reset();
        launch(false);
        EXPECT_FALSE(delegate_->preferencesWindow()->isVisible());
    }
    delegate_->setLaunchOnLogin(true);
    EXPECT_FALSE(delegate_->launchOnLogin());
    EXPECT_TRUE(delegate_->loginItems().isEmpty());
}

TEST_F(LaunchTest, PrivacySettingsButtonRunsTheCommandOrIsHidden) {
    EXPECT_FALSE(makeDelegate().preferencesWindow()->openSystemPreferences->isVisibleTo(
        delegate_->preferencesWindow()));
    const QString marker = dir_.filePath("opened");
    makeDelegate(true, std::vector<std::string>{"touch", marker.toStdString()});
    QPushButton* button = delegate_->preferencesWindow()->openSystemPreferences;
    EXPECT_TRUE(button->isVisibleTo(delegate_->preferencesWindow()));
    button->click();
    EXPECT_TRUE(until([&] { return QFile::exists(marker); }));
}

TEST(SuccessWindow, NeverTakesActivationFromTheUsersWindow) {
    VLKSuccessWindow success;
    success.setWindowFlags(Qt::Tool | Qt::FramelessWindowHint); // as a layout might
    success.show();
    // The offscreen platform activates whatever it shows: what real window systems read is
    // the flag and the attribute.
    EXPECT_TRUE(success.windowHandle()->flags().testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_TRUE(success.testAttribute(Qt::WA_ShowWithoutActivating));
}

} // namespace
} // namespace quaylet::testing
