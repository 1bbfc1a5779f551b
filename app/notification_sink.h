// NotificationSink: where the application's user notifications go.
#pragma once

#include <optional>

#include <QString>

namespace quaylet {

/// One user notification: a title, a subtitle and, for some outcomes, an informative text.
struct UserNotification {
    QString title;
    QString subtitle;
    std::optional<QString> informativeText; ///< nullopt: none set.

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
