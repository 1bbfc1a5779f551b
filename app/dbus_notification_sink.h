// DBusNotificationSink: user notifications through org.freedesktop.Notifications.
#pragma once

#include <deque>
#include <optional>

#include <QDBusConnection>
#include <QHash>
#include <QObject>

#include "app/notification_sink.h"

namespace quaylet {

/// Sends each notification to the desktop's notification server on a D-Bus connection: the
/// title as summary, the subtitle and the informative text (one line each) as body, the
/// application's icon, and the hints "desktop-entry", "urgency" and, when set, "category". The
/// body is escaped when the server reads markup, so that a volume name is always shown as
/// text. A notification with a replace key replaces the last one shown under that key (the id
/// the server returned). Never blocks: calls go out one at a time, asynchronously, the
/// server's capabilities asked first until it has answered once; notifications wait in order.
/// Actions are offered only where the server's capabilities include "actions"; the server's
/// ActionInvoked and NotificationClosed signals reach the handlers under the replace key of
/// the notification they concern.
class DBusNotificationSink : public QObject, public NotificationSink {
    Q_OBJECT
public:
    /// `desktopEntry` names the application's desktop entry (without ".desktop") and
    /// `iconName` its icon in the icon theme.
    DBusNotificationSink(QDBusConnection connection, QString applicationName, QString desktopEntry,
                         QString iconName, QObject* parent = nullptr);

    void deliverNotification(const UserNotification& notification) override;
    void setActionHandlers(ActionHandler onAction, ClosedHandler onClosed) override;
    /// Returns whether every notification delivered so far has been answered by the server,
    /// or has failed.
    bool settled() const { return !busy_ && waiting_.empty(); }

    /// Returns the body of `notification`: the subtitle, then the informative text on a line
    /// of its own when there is one; markup characters escaped when `bodyMarkup` is set.
    static QString notificationBody(const UserNotification& notification, bool bodyMarkup);

signals:
    /// Every notification delivered so far has been answered or has failed.
    void allSent();

private slots:
    void actionInvoked(uint id, const QString& action);
    void notificationClosed(uint id, uint reason);

private:
    void pump();
    void askCapabilities();
    void send(const UserNotification& notification);

    QDBusConnection connection_;
    QString applicationName_;
    QString desktopEntry_;
    QString iconName_;
    std::optional<bool> bodyMarkup_;
    bool actions_ = false;        // the server shows actions
    bool plainUntilIdle_ = false; // the server did not answer the query: plain text for now
    bool busy_ = false;           // a call waits for its answer
    std::deque<UserNotification> waiting_;
    QHash<QString, uint> shownIds_; // by replace key
    ActionHandler onAction_;
    ClosedHandler onClosed_;
    bool listening_ = false; // connected to the server's signals
};

} // namespace quaylet
