// Watching the session bus for the StatusNotifier host that desktops without an X11 tray use.
#include "app/tray_host_watcher.h"

#include <QSystemTrayIcon>

namespace quaylet {

TrayHostWatcher::TrayHostWatcher(QDBusConnection connection, QObject* parent)
    : QObject(parent), watcher_(QStringLiteral("org.kde.StatusNotifierWatcher"),
                                std::move(connection), QDBusServiceWatcher::WatchForRegistration) {
    connect(&watcher_, &QDBusServiceWatcher::serviceRegistered, this,
            &TrayHostWatcher::hostAppeared);
}

bool TrayHostWatcher::present() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

} // namespace quaylet
