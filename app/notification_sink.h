// NotificationSink: where the application's user notifications go.
#pragma once

#include <functional>
#include <optional>

#include <QList>
#include <QString>

namespace quaylet {

/// How urgently a notification asks for attention (the freedesktop urgency levels).
enum class NotificationUrgency { Low = 0, Normal = 1, Critical = 2 };

/// A button a notification offers: its key, told back when chosen, and its label.
struct NotificationAction {
    QString key;
    QString label;

    friend bool operator==(const NotificationAction&, const NotificationAction&) = default;
};

/// One user notification: a title, a subtitle and, for some outcomes, an informative text.
struct UserNotification {
    QString title;
    QString subtitle;
    std::optional<QString> informativeText; ///< nullopt: none set.
    NotificationUrgency urgency = NotificationUrgency::Normal;
    /// The kind of event, as the notification server groups it (for example "device.removed");
    /// empty for none.
    QString category;
    /// Notifications with the same non-empty key replace one another, so that a command shows
    /// only its latest outcome; empty: the notification stands alone.
    QString replaceKey;
    /// The buttons it offers where the desktop shows them; only a notification with a replace
    /// key can tell which was chosen.
    QList<NotificationAction> actions = {};

    friend bool operator==(const UserNotification&, const UserNotification&) = default;
};

/// Delivers user notifications to the desktop.
class NotificationSink {
public:
    virtual ~NotificationSink() = default;
    /// Hands `notification` on at once; a failure to show it is not reported.
    virtual void deliverNotification(const UserNotification& notification) = 0;

    /// Hears the replace key of a notification and the key of the action the user chose in it.
    using ActionHandler = std::function<void(const QString& replaceKey, const QString& action)>;
    /// Hears the replace key of a notification that the user or the desktop closed.
    using ClosedHandler = std::function<void(const QString& replaceKey)>;
    /// Replaces the handlers of chosen actions and closed notifications; a sink that shows no
    /// actions never calls them.
    virtual void setActionHandlers(ActionHandler onAction, ClosedHandler onClosed) {
        static_cast<void>(onAction);
        static_cast<void>(onClosed);
    }
};

} // namespace quaylet
