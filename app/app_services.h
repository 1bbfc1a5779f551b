// AppServices: everything the application delegate is given to work with.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <QDBusConnection>
#include <QSettings>
#include <QString>

#include "app/localized_text.h"
#include "app/notification_sink.h"
#include "platform/platform.h"

namespace quaylet {

/// The services a front end selects for the delegate; tests hand in fakes. Every reference
/// must outlive the delegate, and the platform must be complete (no null service).
struct AppServices {
    Platform& platform;              ///< The machine: registry, mount table, tools, monitors.
    NotificationSink& notifications; ///< Where the outcome of an unplug command is posted.
    const StringTable& strings;      ///< Every user-visible text, by key.
    QSettings& userDefaults;         ///< Holds "hasEverRun".
    QString autostartDirectory;      ///< The login items list: an XDG autostart directory.
    QString executablePath;          ///< The program the login item starts.
    /// The command opening the desktop's privacy settings; nullopt hides its button.
    std::optional<std::vector<std::string>> securitySettingsCommand;
    /// The bus on which logind announces sleep; nullopt: the dock cannot be unplugged before it.
    std::optional<QDBusConnection> systemBus = std::nullopt;
};

} // namespace quaylet
