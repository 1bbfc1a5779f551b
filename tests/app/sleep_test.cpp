// Tests of unplugging before sleep against a stand-in logind on a private system bus.
#include <csignal>

#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QDBusUnixFileDescriptor>
#include <QProcess>
#include <QSocketNotifier>

#include "app/app_storage.h"
#include "app/preferences_window.h"
#include "delegate_fixture.h"

namespace quaylet::testing {
namespace {

// Owns org.freedesktop.login1: each Inhibit call gets the write end of a new pipe, and the
// inhibitor counts as held until the read end hangs up.
class StandInLogind : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
    Q_PROPERTY(qulonglong InhibitDelayMaxUSec MEMBER delayMicros)
public:
    qulonglong delayMicros = 5000000;
    int held = 0;

public slots:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString&,
                                    const QString& mode) {
        int ends[2];
        EXPECT_EQ(::pipe2(ends, O_CLOEXEC), 0);
        QDBusUnixFileDescriptor readEnd;
        QDBusUnixFileDescriptor writeEnd;
        readEnd.giveFileDescriptor(ends[0]);
        writeEnd.giveFileDescriptor(ends[1]);
        EXPECT_EQ(QStringList({what, who, mode}), QStringList({"sleep", "Quaylet", "delay"}));
        ++held;
        auto* hangUp = new QSocketNotifier(ends[0], QSocketNotifier::Read, this);
        connect(hangUp, &QSocketNotifier::activated, this, [this, hangUp, readEnd] {
            hangUp->setEnabled(false);
            hangUp->deleteLater();
            --held;
        });
        return writeEnd;
    }

signals:
    void PrepareForSleep(bool start);
};

constexpr char kBusConfig[] = R"(<busconfig><listen>unix:dir=%1</listen><auth>EXTERNAL</auth>
<policy context="default"><allow send_destination="*"/><allow receive_sender="*"/>
<allow own="*"/></policy></busconfig>)";

// A delegate whose system bus is a dbus-daemon of the test's own.
class SleepTest : public DelegateTest {
protected:
    void SetUp() override {
        DelegateTest::SetUp();
        QFile config(dir_.filePath("bus.conf"));
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        config.write(QString::fromLatin1(kBusConfig).arg(dir_.path()).toUtf8());
        config.close();
        // Killed when the test ends, and by the kernel when the test program dies.
        daemon_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        daemon_.start("dbus-daemon", {"--config-file=" + config.fileName(), "--nofork",
                                      "--nopidfile", "--print-address=1"});
        ASSERT_TRUE(daemon_.waitForReadyRead(10000));
        const QString address = QString::fromUtf8(daemon_.readLine()).trimmed();
        logindBus_ = QDBusConnection::connectToBus(address, "stand-in-logind");
        systemBus_ = QDBusConnection::connectToBus(address, "system");
        ASSERT_TRUE(logindBus_->registerService("org.freedesktop.login1"));
        ASSERT_TRUE(logindBus_->registerObject("/org/freedesktop/login1", &logind_,
                                               QDBusConnection::ExportAllContents));
    }
    void TearDown() override {
        DelegateTest::TearDown();
        QDBusConnection::disconnectFromBus("system");
        QDBusConnection::disconnectFromBus("stand-in-logind");
    }
    QProcess daemon_;
    std::optional<QDBusConnection> logindBus_;
    StandInLogind logind_;
};

TEST_F(SleepTest, SleepWaitsForTheWholeUnplugAndResumeReportsWhatBlockedIt) {
    runner().hold("lsof");
    launch();
    EXPECT_FALSE(QTest::qWaitFor([&] { return logind_.held > 0; }, 200)); // off by default
    QCheckBox* wanted = delegate_->preferencesWindow()->unplugBeforeSleepButton;
    wanted->setChecked(true);
    ASSERT_TRUE(until([&] { return logind_.held == 1; }));
    emit logind_.PrepareForSleep(true);
    // Unmounted, and the search for what keeps the dock busy waits at the gate: still held.
    ASSERT_TRUE(until([&] { return delegate_->statusImageName() == "StatusUnsafe"; }));
    ASSERT_TRUE(runner().waitUntilHeld());
    EXPECT_FALSE(QTest::qWaitFor([&] { return logind_.held == 0; }, 200));
    runner().open();
    ASSERT_TRUE(until([&] { return logind_.held == 0; }));
    EXPECT_TRUE(sink_.delivered.empty());
    emit logind_.PrepareForSleep(false);
    ASSERT_TRUE(until([&] { return logind_.held == 1 && !sink_.delivered.empty(); }));
    EXPECT_EQ(sink_.delivered.at(0).subtitle, "SLEEP_UNPLUG_BLOCKED");
    EXPECT_EQ(sink_.delivered.at(0).informativeText, "BUSY_VOLUME_WITH Dock SSD cp");
    wanted->setChecked(false);
    ASSERT_TRUE(until([&] { return logind_.held == 0; }));
}

TEST_F(SleepTest, AHungUnplugLetsSleepGoWithinLogindsBound) {
    logind_.delayMicros = 1000000;
    snapshot_.busyProcesses.clear();
    runner().hold("diskutil");
    settings_->setValue(kUnplugBeforeSleepKey, true);
    launch();
    ASSERT_TRUE(until([&] { return logind_.held == 1; }));
    emit logind_.PrepareForSleep(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return logind_.held == 0; }, 1000)); // within the bound
    emit logind_.PrepareForSleep(false);
    runner().open();
    ASSERT_TRUE(until([&] { return !sink_.delivered.empty(); }));
    EXPECT_EQ(sink_.delivered.at(0).subtitle, "SLEEP_UNPLUG_DONE");
    EXPECT_EQ(sink_.delivered.at(0).informativeText, "SLEEP_CAME_FIRST");
}

TEST_F(SleepTest, WithoutLogindThePreferenceSaysItIsUnavailable) {
    logindBus_->unregisterService("org.freedesktop.login1");
    launch();
    delegate_->preferencesWindow()->unplugBeforeSleepButton->setChecked(true);
    EXPECT_TRUE(until([&] { return !delegate_->preferencesWindow()->sleepStatus->isHidden(); }));
}

} // namespace
} // namespace quaylet::testing

#include "sleep_test.moc"
