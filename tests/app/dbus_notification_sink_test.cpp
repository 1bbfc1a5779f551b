// Tests of the D-Bus notifications against a notification server on a private session bus.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QVariantMap>
#include <gtest/gtest.h>

#include "app/dbus_notification_sink.h"

namespace quaylet {
namespace {

// A notification server that records every Notify call.
class RecordingServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList capabilities;
    QList<QVariantList> calls;

public slots:
    QStringList GetCapabilities() { return capabilities; }
    uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints,
                int timeout) {
        calls.append({app, replaces, icon, summary, body, actions, hints, timeout});
        return static_cast<uint>(calls.size());
    }
};

class DBusNotificationSinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable("dbus-daemon").isEmpty()) {
            GTEST_SKIP() << "dbus-daemon is not installed";
        }
        daemon_.start("dbus-daemon", {"--session", "--nofork", "--nopidfile", "--print-address=1"});
        ASSERT_TRUE(daemon_.waitForReadyRead(10000));
        const QString address = QString::fromUtf8(daemon_.readLine()).trimmed();
        server_ = QDBusConnection::connectToBus(address, "srv");
        client_ = QDBusConnection::connectToBus(address, "cli");
        ASSERT_TRUE(server_.isConnected() && client_.isConnected());
    }
    void TearDown() override {
        QDBusConnection::disconnectFromBus("srv");
        QDBusConnection::disconnectFromBus("cli");
        daemon_.terminate();
        daemon_.waitForFinished(5000);
    }
    void serve(const QStringList& capabilities) {
        recorder_.capabilities = capabilities;
        ASSERT_TRUE(server_.registerService("org.freedesktop.Notifications"));
        ASSERT_TRUE(server_.registerObject("/org/freedesktop/Notifications", &recorder_,
                                           QDBusConnection::ExportAllSlots));
    }
    bool awaitCalls(int count) {
        return QTest::qWaitFor([&] { return recorder_.calls.size() >= count; }, 5000);
    }

    QProcess daemon_;
    QDBusConnection server_{QString()};
    QDBusConnection client_{QString()};
    RecordingServer recorder_;
};

const UserNotification kBusy{"Thunderbolt Dock",
                             "Do not unplug",
                             "“<b>Tom & Jerry</b>” is busy",
                             NotificationUrgency::Critical,
                             "device.removed",
                             "unplug-dock"};

UserNotification safe(const QString& key) {
    return {
        "Thunderbolt Dock", "Safe to unplug", std::nullopt, NotificationUrgency::Normal, {}, key};
}

TEST_F(DBusNotificationSinkTest, SendsHintsEscapesForMarkupAndEachKeyReplacesItsOwnLast) {
    serve({"body", "body-markup"});
    DBusNotificationSink sink(client_, "Quaylet", "quaylet", "quaylet-icon");
    sink.deliverNotification(kBusy); // the server numbers its notifications 1, 2, 3 ...
    for (const char* key : {"unplug-everything", "unplug-dock", "", "", "unplug-everything"}) {
        sink.deliverNotification(safe(key));
    }
    ASSERT_TRUE(awaitCalls(6));
    const QVariantList call = recorder_.calls.front();
    EXPECT_EQ(call.mid(0, 5),
              (QVariantList{"Quaylet", 0U, "quaylet-icon", "Thunderbolt Dock",
                            "Do not unplug\n“&lt;b&gt;Tom &amp; Jerry&lt;/b&gt;” is busy"}));
    const QVariantMap hints = call[6].toMap();
    EXPECT_EQ(hints.value("desktop-entry"), "quaylet");
    EXPECT_EQ(hints.value("urgency").toInt(), 2);
    EXPECT_EQ(hints.value("category"), "device.removed");
    EXPECT_EQ(recorder_.calls[1][6].toMap().value("urgency").toInt(), 1);
    EXPECT_FALSE(recorder_.calls[1][6].toMap().contains("category"));
    QList<uint> replaced;
    for (const QVariantList& each : recorder_.calls) {
        replaced.append(each[1].toUInt());
    }
    EXPECT_EQ(replaced, (QList<uint>{0, 0, 1, 0, 0, 2}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return sink.settled(); }, 5000));
}

TEST_F(DBusNotificationSinkTest, OffersActionsOnlyWhereShownAndTellsTheChoiceByReplaceKey) {
    serve({"body", "actions"});
    DBusNotificationSink sink(client_, "Quaylet", "quaylet", "quaylet-icon");
    QStringList heard;
    sink.setActionHandlers(
        [&](const QString& key, const QString& action) { heard << key + ":" + action; },
        [&](const QString& key) { heard << key + ":closed"; });
    UserNotification busy = kBusy;
    busy.actions = {{"details", "Details"}};
    sink.deliverNotification(busy);
    ASSERT_TRUE(awaitCalls(1));
    EXPECT_EQ(recorder_.calls[0][5].toStringList(), (QStringList{"details", "Details"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return sink.settled(); }, 5000));
    const QString path = "/org/freedesktop/Notifications";
    const QString interface = "org.freedesktop.Notifications";
    // Notification 7 is another client's: not heard.
    for (const uint id : {7U, 1U}) {
        server_.send(QDBusMessage::createSignal(path, interface, "ActionInvoked")
                     << id << "details");
    }
    server_.send(QDBusMessage::createSignal(path, interface, "NotificationClosed") << 1U << 2U);
    EXPECT_TRUE(QTest::qWaitFor([&] { return heard.size() >= 2; }, 5000));
    EXPECT_EQ(heard, (QStringList{"unplug-dock:details", "unplug-dock:closed"}));
}

} // namespace
} // namespace quaylet

#include "dbus_notification_sink_test.moc"
