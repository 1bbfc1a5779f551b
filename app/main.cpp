// Entry point of the tray application: the Qt application, the session's services, the delegate.
#include <cstdio>

#include <QApplication>
#include <QDBusConnection>
#include <QIcon>
#include <QLocale>
#include <QSettings>

#include "app/autostart_list.h"
#include "app/dbus_notification_sink.h"
#include "app/localized_strings.h"
#include "app/security_settings.h"
#include "app/session_platform.h"
#include "app/vlk_app_delegate.h"

int main(int argc, char** argv) {
    using namespace quaylet;
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Pemrix"));
    QApplication::setApplicationName(QStringLiteral("Quaylet"));
    QApplication::setDesktopFileName(QStringLiteral("quaylet"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/app/quaylet-128.png")));
    QApplication::setQuitOnLastWindowClosed(false);

    const std::unique_ptr<Platform> platform = makeSessionPlatform();
    if (!platform) {
        std::fputs("quaylet: this system's devices and mounts cannot be read.\n", stderr);
        return 1;
    }
    const LocalizedStrings strings =
        LocalizedStrings::forLanguage(QLocale::system().name().section(u'_', 0, 0));
    DBusNotificationSink notifications(QDBusConnection::sessionBus(), QStringLiteral("Quaylet"));
    QSettings userDefaults;
    VLKAppDelegate delegate(AppServices{
        *platform, notifications, strings, userDefaults, AutostartList::defaultDirectory(),
        QCoreApplication::applicationFilePath(), sessionSecuritySettingsCommand()});
    delegate.applicationDidFinishLaunching();
    return QApplication::exec();
}
