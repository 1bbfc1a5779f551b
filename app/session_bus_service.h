// SessionBusService: the tray's object on the session bus, which keeps it one per session.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include "app/launch_options.h"

namespace quaylet {

/// The object the running tray offers on the session bus under the name com.pemrix.Quaylet,
/// path /com/pemrix/Quaylet, interface com.pemrix.Quaylet. Its methods only announce what was
/// asked; the application connects them to the same actions as the status menu's items, so
/// a key binding or a script gets the tray's own unplug and notifications.
class SessionBusService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.pemrix.Quaylet")
public:
    /// The outcome of claiming the session's name.
    enum class Claim {
        Claimed, ///< This process is the session's tray now.
        Taken,   ///< Another process holds the name: the session's tray runs already.
        NoBus    ///< There is no session bus; the tray runs without one.
    };

    explicit SessionBusService(QDBusConnection connection, QObject* parent = nullptr);

    /// Exports the object and claims the name, unless another process holds it. Calls are
    /// delivered through the event loop, so signals connected before it runs miss none.
    Claim claim();
    /// Asks the tray holding the name for `request`, waiting up to a few seconds: for a launch
    /// that ends right after. Returns whether it answered; otherwise `error` says why.
    static bool forward(QDBusConnection connection, LaunchRequest request, QString& error);

public slots:
    /// Starts the unplug command, as the status menu's unplug item does.
    void UnplugDock() { emit unplugDockRequested(); }
    /// Starts the unplug command for every external volume, as the menu's item does.
    void UnplugEverything() { emit unplugEverythingRequested(); }
    /// Shows the preferences window.
    void ShowPreferences() { emit preferencesRequested(); }

signals:
    void unplugDockRequested();
    void unplugEverythingRequested();
    void preferencesRequested();

private:
    QDBusConnection connection_;
};

} // namespace quaylet
