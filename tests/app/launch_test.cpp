// Tests of launch and first run, the privacy settings button and the focus-free window.
#include <QApplication>

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
    EXPECT_TRUE(QSettings(settingsPath_, QSettings::IniFormat).value("hasEverRun").toBool());
    EXPECT_EQ(entries(), QStringList{"quaylet.desktop"});
    PreferencesWindow* window = delegate_->preferencesWindow();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_TRUE(window->startOnLoginButton->isChecked());
    delegate_->setLaunchOnLogin(false);
    delegate_.reset();
    launch(false);
    EXPECT_TRUE(entries().isEmpty());
    EXPECT_FALSE(delegate_->preferencesWindow()->isVisible());
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
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&success));
    // The offscreen platform activates whatever it shows, so the refusal to activate on
    // showing is checked through what real window systems read: the flag and the attribute.
    EXPECT_TRUE(success.windowHandle()->flags().testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_TRUE(success.testAttribute(Qt::WA_ShowWithoutActivating));
    QWidget work;
    work.show();
    work.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&work));
    success.activateWindow();
    QTest::qWait(50);
    EXPECT_EQ(QApplication::activeWindow(), &work);
}

} // namespace
} // namespace quaylet::testing
