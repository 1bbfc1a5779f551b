// Entry point of the tray application: options, the session's platform, the Qt application,
// the delegate.
#include <cstdio>
#include <string>

#include <QApplication>
#include <QDBusConnection>
#include <QFile>
#include <QIcon>
#include <QSettings>
#include <QSystemTrayIcon>

#include "app/autostart_list.h"
#include "app/dbus_notification_sink.h"
#include "app/launch_options.h"
#include "app/security_settings.h"
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
    PlatformSelectionError platformError;
    std::optional<Platform> platform =
        selectPlatform(PlatformChoice{options->snapshotPath.value_or(""), {}, {}}, platformError);
    if (!platform) {
        QString reason = QString::fromStdString(platformError.reason);
        if (platformError.source == PlatformSelectionError::Source::DeviceTree) {
            reason.prepend(QStringLiteral("this system's devices cannot be read: "));
        }
        return complain(reason);
    }

    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Pemrix"));
    QApplication::setApplicationName(QStringLiteral("Quaylet"));
    QApplication::setDesktopFileName(QStringLiteral("quaylet"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/app/quaylet-128.png")));
    QApplication::setQuitOnLastWindowClosed(false);
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        complain(
            QStringLiteral("no system tray is running yet; the icon appears when one starts."));
    }

    DBusNotificationSink notifications(QDBusConnection::sessionBus(), QStringLiteral("Quaylet"));
    QSettings userDefaults;
    // QApplication has set the locale from the environment, so the texts follow the session's
    // language.
    VLKAppDelegate delegate(AppServices{*platform, notifications, localizedStrings(), userDefaults,
                                        AutostartList::defaultDirectory(),
                                        QCoreApplication::applicationFilePath(),
                                        sessionSecuritySettingsCommand()});
    delegate.applicationDidFinishLaunching();
    return QApplication::exec();
}
