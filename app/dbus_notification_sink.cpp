// Notify calls to the desktop's notification server, after one capability query.
#include "app/dbus_notification_sink.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

namespace quaylet {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

} // namespace

DBusNotificationSink::DBusNotificationSink(QDBusConnection connection, QString applicationName,
                                           QObject* parent)
    : QObject(parent), connection_(std::move(connection)),
      applicationName_(std::move(applicationName)) {}

QString DBusNotificationSink::notificationBody(const UserNotification& notification,
                                               bool bodyMarkup) {
    QString body = notification.subtitle;
    if (notification.informativeText) {
        body += u'\n' + *notification.informativeText;
    }
    return bodyMarkup ? body.toHtmlEscaped() : body;
}

void DBusNotificationSink::deliverNotification(const UserNotification& notification) {
    if (bodyMarkup_) {
        send(notification);
        return;
    }
    waiting_.push_back(notification);
    askCapabilities();
}

void DBusNotificationSink::askCapabilities() {
    if (asking_) {
        return;
    }
    asking_ = true;
    const QDBusMessage query = QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                              QStringLiteral("GetCapabilities"));
    auto* watcher = new QDBusPendingCallWatcher(connection_.asyncCall(query), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* finished) {
                const QDBusPendingReply<QStringList> reply = *finished;
                finished->deleteLater();
                // Only an answer is kept: without one (no server yet) the waiting notifications
                // go out as plain text, and the next one asks again.
                if (reply.isValid()) {
                    bodyMarkup_ = reply.value().contains(QStringLiteral("body-markup"));
                }
                asking_ = false;
                std::vector<UserNotification> ready;
                ready.swap(waiting_);
                for (const UserNotification& notification : ready) {
                    send(notification);
                }
            });
}

void DBusNotificationSink::send(const UserNotification& notification) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    call << applicationName_ << 0U << QString() << notification.title
         << notificationBody(notification, bodyMarkup_.value_or(false)) << QStringList()
         << QVariantMap() << -1;
    connection_.asyncCall(call);
}

} // namespace quaylet
