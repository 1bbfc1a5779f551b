// Entry point of the tray application: options, one tray per session, the session's platform,
// the Qt application, the delegate.
#include <cstdio>
#include <string>

#include <QApplication>
#include <QDBusConnection>
#include <QFile>
#include <QIcon>
#include <QSystemTrayIcon>

#include "app/app_storage.h"
#include "app/dbus_notification_sink.h"
#include "app/launch_options.h"
#include "app/security_settings.h"
#include "app/session_bus_service.h"
#include "app/tray_host_watcher.h"
#include "app/vlk_app_delegate.h"
#include "platform/linux/message_catalog.h"
#include "platform/platform_selection.h"
#include "platform/program_version.h"

namespace {

// Writes one line for a person to standard error and returns the exit status 1.
int complain(const QString& line) {
    std::fprintf(stderr, "quaylet: %s\n", line.toLocal8Bit().constData());
    return 1;
}

/// Says what could not be read when no platform could be built.
QString platformFailure(const quaylet::PlatformSelectionError& error) {
    using Source = quaylet::PlatformSelectionError::Source;
    const QString path = QString::fromStdString(error.path);
    const QString system = QString::fromStdString(error.code.message());
    switch (error.source) {
    case Source::Snapshot:
        return error.code ? path + QStringLiteral(": cannot read the snapshot file")
                          : QString::fromStdString(error.problem);
    case Source::DeviceTree:
        return QStringLiteral("this system's devices cannot be read: cannot read the device "
                              "tree at %1: %2: %3")
            .arg(path, QString::fromStdString(error.unlisted), system);
    case Source::MountWatch:
        return QStringLiteral("cannot watch the mount table: %1").arg(system);
    case Source::RecordedMountTable:
        break;
    }
    return QStringLiteral("cannot read a mount table from %1").arg(path);
}

} // namespace

int main(int argc, char** argv) {
    using namespace quaylet;
    QStringList arguments;
    for (int at = 0; at < argc; ++at) {
        arguments << QFile::decodeName(argv[at]);
    }
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QString optionError;
    const auto options = LaunchOptions::parse(arguments, environment, optionError);
    if (!options) {
        if (optionError.endsWith(u'.')) {
            optionError.chop(1);
        }
        complain(optionError + QStringLiteral("; see 'quaylet --help'."));
        return 2;
    }
    if (options->help) {
        std::fputs(LaunchOptions::usage().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (options->version) {
        std::printf("quaylet %s\n", std::string(programVersion()).c_str());
        return 0;
    }
    if (!hasDesktopSession(environment)) {
        return complain(QStringLiteral("no desktop session here (DISPLAY and WAYLAND_DISPLAY are "
                                       "unset); 'quaylet-cli status' reports from a terminal."));
    }

    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Pemrix"));
    QApplication::setApplicationName(QStringLiteral("Quaylet"));
    QApplication::setDesktopFileName(QStringLiteral("quaylet"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/app/quaylet-128.png")));
    QApplication::setQuitOnLastWindowClosed(false);

    // One tray per session: a later launch hands its request to the running one and ends.
    const QDBusConnection bus = QDBusConnection::sessionBus();
    SessionBusService service(bus);
    switch (service.claim()) {
    case SessionBusService::Claim::Claimed:
        break;
    case SessionBusService::Claim::Taken: {
        QString error;
        if (!SessionBusService::forward(bus, options->request, error)) {
            return complain(
                QStringLiteral("Quaylet runs already but did not answer: %1").arg(error));
        }
        return 0;
    }
    case SessionBusService::Claim::NoBus:
        complain(QStringLiteral("no session bus: notifications are not shown, and a second "
                                "launch starts a second icon."));
        break;
    }

    PlatformSelectionError platformError;
    std::optional<Platform> platform =
        selectPlatform(PlatformChoice{options->snapshotPath.value_or(""), {}, {}}, platformError);
    if (!platform) {
        return complain(platformFailure(platformError));
    }
    const std::unique_ptr<AppStorage> storage =
        options->snapshotPath ? AppStorage::temporary() : AppStorage::user();
    // The tray's user can answer a password prompt, where polkit's policy wants one.
    platform->toolCommands.allowInteraction();

    DBusNotificationSink notifications(bus, QStringLiteral("Quaylet"), QStringLiteral("quaylet"),
                                       QStringLiteral("quaylet"));
    // QApplication has set the locale from the environment: the texts follow the session's
    // language.
    const StringTable& strings = localizedStrings();
    VLKAppDelegate delegate(
        AppServices{*platform, notifications, strings, storage->settings(),
                    storage->autostartDirectory(), QCoreApplication::applicationFilePath(),
                    sessionSecuritySettingsCommand(), QDBusConnection::systemBus()});
    QObject::connect(&service, &SessionBusService::unplugDockRequested, &delegate,
                     &VLKAppDelegate::unplugDock);
    QObject::connect(&service, &SessionBusService::unplugEverythingRequested, &delegate,
                     &VLKAppDelegate::unplugEverything);
    QObject::connect(&service, &SessionBusService::preferencesRequested, &delegate,
                     [&delegate, &service] { delegate.showPreferences(&service); });
    // The application ends once the last outcome has reached the notification server.
    QObject::connect(&delegate, &VLKAppDelegate::readyToQuit, &application, [&notifications] {
        if (notifications.settled()) {
            QCoreApplication::quit();
        } else {
            QObject::connect(&notifications, &DBusNotificationSink::allSent, qApp,
                             &QCoreApplication::quit, Qt::SingleShotConnection);
        }
    });

    TrayHostWatcher trayHost(bus);
    if (!TrayHostWatcher::present()) {
        complain(
            QStringLiteral("no system tray is running yet; the icon appears when one starts."));
        notifications.deliverNotification({QStringLiteral("Quaylet"),
                                           localizedText(strings, "NO_TRAY_HOST"), std::nullopt,
                                           NotificationUrgency::Normal, QString(), QString()});
    }
    QObject::connect(&trayHost, &TrayHostWatcher::hostAppeared, &delegate, [&delegate] {
        if (QSystemTrayIcon* item = delegate.statusItem()) {
            item->hide();
            item->show();
        }
    });

    delegate.applicationDidFinishLaunching();
    if (options->request == LaunchRequest::UnplugDock) {
        QMetaObject::invokeMethod(&delegate, &VLKAppDelegate::unplugDock, Qt::QueuedConnection);
    } else if (options->request == LaunchRequest::UnplugEverything) {
        QMetaObject::invokeMethod(&delegate, &VLKAppDelegate::unplugEverything,
                                  Qt::QueuedConnection);
    }
    return QApplication::exec();
}
