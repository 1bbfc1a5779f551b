// Notify calls to the desktop's notification server, one at a time, after one capability query.
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
/// How long a call may wait for the server before it counts as failed, in milliseconds.
constexpr int kCallTimeoutMs = 10000;

} // namespace

DBusNotificationSink::DBusNotificationSink(QDBusConnection connection, QString applicationName,
                                           QString desktopEntry, QString iconName, QObject* parent)
    : QObject(parent), connection_(std::move(connection)),
      applicationName_(std::move(applicationName)), desktopEntry_(std::move(desktopEntry)),
      iconName_(std::move(iconName)) {}

QString DBusNotificationSink::notificationBody(const UserNotification& notification,
                                               bool bodyMarkup) {
    QString body = notification.subtitle;
    if (notification.informativeText) {
        body += u'\n' + *notification.informativeText;
    }
    return bodyMarkup ? body.toHtmlEscaped() : body;
}

void DBusNotificationSink::deliverNotification(const UserNotification& notification) {
    waiting_.push_back(notification);
    pump();
}

void DBusNotificationSink::pump() {
    if (busy_) {
        return;
    }
    if (waiting_.empty()) {
        // Without an answer the server is asked again with the next notification.
        plainUntilIdle_ = false;
        emit allSent();
        return;
    }
    if (!bodyMarkup_ && !plainUntilIdle_) {
        askCapabilities();
        return;
    }
    const UserNotification next = waiting_.front();
    waiting_.pop_front();
    send(next);
}

void DBusNotificationSink::askCapabilities() {
    busy_ = true;
    const QDBusMessage query = QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                              QStringLiteral("GetCapabilities"));
    auto* watcher = new QDBusPendingCallWatcher(connection_.asyncCall(query, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* finished) {
                const QDBusPendingReply<QStringList> reply = *finished;
                finished->deleteLater();
                if (reply.isValid()) {
                    bodyMarkup_ = reply.value().contains(QStringLiteral("body-markup"));
                    actions_ = reply.value().contains(QStringLiteral("actions"));
                } else {
                    plainUntilIdle_ = true;
                }
                busy_ = false;
                pump();
            });
}

void DBusNotificationSink::send(const UserNotification& notification) {
    busy_ = true;
    QVariantMap hints{
        {QStringLiteral("desktop-entry"), desktopEntry_},
        {QStringLiteral("urgency"), QVariant::fromValue(static_cast<uchar>(notification.urgency))}};
    if (!notification.category.isEmpty()) {
        hints.insert(QStringLiteral("category"), notification.category);
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    QStringList actions;
    if (actions_) {
        for (const NotificationAction& action : notification.actions) {
            actions << action.key << action.label;
        }
    }
    call << applicationName_ << shownIds_.value(notification.replaceKey, 0U) << iconName_
         << notification.title << notificationBody(notification, bodyMarkup_.value_or(false))
         << actions << hints << -1;
    auto* watcher = new QDBusPendingCallWatcher(connection_.asyncCall(call, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, key = notification.replaceKey](QDBusPendingCallWatcher* finished) {
                const QDBusPendingReply<uint> reply = *finished;
                finished->deleteLater();
                if (reply.isValid() && !key.isEmpty()) {
                    shownIds_.insert(key, reply.value());
                }
                busy_ = false;
                pump();
            });
}

void DBusNotificationSink::setActionHandlers(ActionHandler onAction, ClosedHandler onClosed) {
    onAction_ = std::move(onAction);
    onClosed_ = std::move(onClosed);
    if (!listening_) {
        listening_ =
            connection_.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                                SLOT(actionInvoked(uint, QString))) &&
            connection_.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"),
                                this, SLOT(notificationClosed(uint, uint)));
    }
}

void DBusNotificationSink::actionInvoked(uint id, const QString& action) {
    // The server tells every client of its signals: only ids this sink was given are ours.
    const QString key = shownIds_.key(id);
    if (!key.isEmpty() && onAction_) {
        onAction_(key, action);
    }
}

void DBusNotificationSink::notificationClosed(uint id, uint reason) {
    static_cast<void>(reason);
    const QString key = shownIds_.key(id);
    if (!key.isEmpty() && onClosed_) {
        onClosed_(key);
    }
}

} // namespace quaylet
