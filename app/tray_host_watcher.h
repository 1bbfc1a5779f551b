// TrayHostWatcher: whether a tray host shows status icons, and when one appears.
#pragma once

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QObject>

namespace quaylet {

/// Tells whether the desktop shows status icons now, and announces a StatusNotifier host
/// (org.kde.StatusNotifierWatcher) appearing on the session bus. Qt registers an icon with
/// that host only when the icon is shown, so an icon shown before the host started must be
/// shown again. An X11 tray appearing later is picked up by Qt itself.
class TrayHostWatcher : public QObject {
    Q_OBJECT
public:
    explicit TrayHostWatcher(QDBusConnection connection, QObject* parent = nullptr);

    /// Returns whether a tray host shows status icons now.
    static bool present();

signals:
    /// A StatusNotifier host registered on the session bus.
    void hostAppeared();

private:
    QDBusServiceWatcher watcher_;
};

} // namespace quaylet
