// DBusNotificationSink: user notifications through org.freedesktop.Notifications.
#pragma once

#include <optional>
#include <vector>

#include <QDBusConnection>
#include <QObject>

#include "app/notification_sink.h"

namespace quaylet {

/// Sends each notification to the desktop's notification server on a D-Bus connection: the
/// title as summary, the subtitle and the informative text (one line each) as body, nothing
/// else. The body is escaped when the server reads markup, so that a volume name is always
/// shown as text. Never blocks: the server's capabilities are asked asynchronously until it
/// has answered once, and notifications wait in order until the answer is in.
class DBusNotificationSink : public QObject, public NotificationSink {
    Q_OBJECT
public:
    DBusNotificationSink(QDBusConnection connection, QString applicationName,
                         QObject* parent = nullptr);

    void deliverNotification(const UserNotification& notification) override;

    /// Returns the body of `notification`: the subtitle, then the informative text on a line
    /// of its own when there is one; markup characters escaped when `bodyMarkup` is set.
    static QString notificationBody(const UserNotification& notification, bool bodyMarkup);

private:
    void askCapabilities();
    void send(const UserNotification& notification);

    QDBusConnection connection_;
    QString applicationName_;
    std::optional<bool> bodyMarkup_;
    bool asking_ = false;
    std::vector<UserNotification> waiting_;
};

} // namespace quaylet
