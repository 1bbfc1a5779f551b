// Tests of launch and first run, the preferences window, more info and the focus-free window.
#include <csignal>

#include <QApplication>
#include <QDesktopServices>
#include <QUrl>

#include "app/autostart_list.h"
#include "app/preferences_window.h"
#include "app/vlk_success_window.h"
#include "delegate_fixture.h"

namespace quaylet::testing {
namespace {

// Receives the addresses the desktop is asked to open.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened.append(url); }
};

class LaunchTest : public DelegateTest {
protected:
    bool everRun() const {
        return QSettings(settingsPath_, QSettings::IniFormat).value("hasEverRun").toBool();
    }
    QStringList entries() const { return QDir(autostart_).entryList({"*.desktop"}, QDir::Files); }
};

TEST_F(LaunchTest, FirstLaunchAddsTheLoginItemAndShowsPreferencesWithoutActivating) {
    launch(false);
    EXPECT_TRUE(everRun());
    EXPECT_EQ(entries(), QStringList{"quaylet.desktop"});
    EXPECT_TRUE(delegate_->launchOnLogin());
    PreferencesWindow* window = delegate_->preferencesWindow();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_EQ(window->palette().color(QPalette::Window), darkPalette().color(QPalette::Window));
    EXPECT_TRUE(window->startOnLoginButton->isChecked());
    EXPECT_TRUE(delegate_->statusItem()->isVisible());
    struct sigaction child {};
    struct sigaction pipe {};
    sigaction(SIGCHLD, nullptr, &child);
    sigaction(SIGPIPE, nullptr, &pipe);
    EXPECT_EQ(child.sa_handler, SIG_IGN);
    EXPECT_EQ(pipe.sa_handler, SIG_IGN);
}

TEST_F(LaunchTest, SecondLaunchShowsOnlyTheIconAndLeavesTheLoginItemAlone) {
    launch(false);
    delegate_->setLaunchOnLogin(false);
    delegate_.reset();
    launch(false);
    EXPECT_TRUE(everRun());
    EXPECT_TRUE(entries().isEmpty());
    EXPECT_FALSE(delegate_->preferencesWindow()->isVisible());
    EXPECT_EQ(delegate_->statusImageName(), "StatusItem");
}

TEST_F(LaunchTest, UnwritableSettingsNeverMakeAFirstRun) {
    // The settings file's folder cannot be made: "hasEverRun" could never be recorded.
    QFile blocker(dir_.filePath("Pemrix"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    for (int run = 0; run < 2; ++run) {
        delegate_.reset();
        launch(false);
        EXPECT_FALSE(delegate_->preferencesWindow()->isVisible());
        EXPECT_TRUE(entries().isEmpty());
    }
}

TEST_F(LaunchTest, PreferencesFromTheMenuActivateTheDarkWindow) {
    launch();
    QObject menuItem;
    delegate_->preferencesWindow()->setPalette(QPalette(Qt::white));
    delegate_->showPreferences(&menuItem);
    PreferencesWindow* window = delegate_->preferencesWindow();
    EXPECT_FALSE(window->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_TRUE(QTest::qWaitForWindowActive(window));
    EXPECT_EQ(window->palette().color(QPalette::Window), darkPalette().color(QPalette::Window));
}

TEST_F(LaunchTest, MoreInfoOpensTheAddressItsKeyLooksUpTo) {
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler("https", &recorder, "open");
    launch();
    delegate_->moreInfo();
    strings_ = *StringTable::fromJson(
        R"({"https://quaylet.invalid/more-info": "https://example.org/quaylet"})");
    delegate_->moreInfo();
    strings_ = *StringTable::fromJson(R"({"https://quaylet.invalid/more-info": "not an address"})");
    delegate_->moreInfo();
    QDesktopServices::unsetUrlHandler("https");
    EXPECT_EQ(recorder.opened, (QList<QUrl>{QUrl("https://quaylet.invalid/more-info"),
                                            QUrl("https://example.org/quaylet")}));
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
    EXPECT_EQ(success.focusPolicy(), Qt::NoFocus);
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

#include "launch_test.moc"
