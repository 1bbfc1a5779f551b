// NotificationSink: where the application's user notifications go.
#pragma once

#include <optional>

#include <QString>

namespace quaylet {

/// How urgently a notification asks for attention (the freedesktop urgency levels).
enum class NotificationUrgency { Low = 0, Normal = 1, Critical = 2 };

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

    friend bool operator==(const UserNotification&, const UserNotification&) = default;
};

/// Delivers user notifications to the desktop.
class NotificationSink {
public:
    virtual ~NotificationSink() = default;
    /// Hands `notification` on at once; a failure to show it is not reported.
    virtual void deliverNotification(const UserNotification& notification) = 0;
};

} // namespace quaylet
