// Reading the tray application's command line and environment.
#include "app/launch_options.h"

#include <QCommandLineParser>
#include <QFile>

namespace quaylet {

namespace {

const QString kSnapshotVariable = QStringLiteral("QUAYLET_SNAPSHOT");

} // namespace

std::optional<LaunchOptions> LaunchOptions::parse(const QStringList& arguments,
                                                  const QProcessEnvironment& environment,
                                                  QString& error) {
    QCommandLineParser parser;
    const QCommandLineOption snapshot(QStringLiteral("snapshot"),
                                      QStringLiteral("Run on a machine snapshot."),
                                      QStringLiteral("FILE"));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    const QCommandLineOption unplugDock(QStringLiteral("unplug-dock"),
                                        QStringLiteral("Run the unplug command."));
    const QCommandLineOption unplugEverything(
        QStringLiteral("unplug-everything"),
        QStringLiteral("Run the unplug command for every external volume."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Show the version."));
    parser.addOptions({snapshot, help, unplugDock, unplugEverything, version});
    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return std::nullopt;
    }
    if (!parser.positionalArguments().isEmpty()) {
        error = QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments()[0]);
        return std::nullopt;
    }
    if (parser.isSet(unplugDock) && parser.isSet(unplugEverything)) {
        error = QStringLiteral("--unplug-dock and --unplug-everything exclude each other.");
        return std::nullopt;
    }
    LaunchOptions options;
    options.help = parser.isSet(help);
    options.version = parser.isSet(version);
    if (parser.isSet(unplugDock)) {
        options.request = LaunchRequest::UnplugDock;
    } else if (parser.isSet(unplugEverything)) {
        options.request = LaunchRequest::UnplugEverything;
    }
    if (parser.isSet(snapshot)) {
        options.snapshotPath = QFile::encodeName(parser.value(snapshot)).toStdString();
    } else if (const QString path = environment.value(kSnapshotVariable); !path.isEmpty()) {
        options.snapshotPath = QFile::encodeName(path).toStdString();
    }
    return options;
}

QString LaunchOptions::usage() {
    return QStringLiteral(
        "Usage: quaylet [--snapshot FILE] [--unplug-dock | --unplug-everything]\n"
        "       quaylet --help | --version\n"
        "The tray icon that makes it safe to unplug a Thunderbolt dock. One runs per session:\n"
        "a second launch asks the running one to show its preferences, or to unplug.\n"
        "\n"
        "  --snapshot FILE      Run on the machine a snapshot file describes, never on the\n"
        "                       live system's mounts, with settings and login item kept in a\n"
        "                       temporary folder (also: QUAYLET_SNAPSHOT=FILE).\n"
        "  --unplug-dock        Unplug the dock, in the running tray or in a new one.\n"
        "  --unplug-everything  Unplug every external volume, in the running tray or a new one.\n"
        "  -h, --help           Show this help.\n"
        "  --version            Show the version.\n");
}

bool hasDesktopSession(const QProcessEnvironment& environment) {
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        if (!environment.value(QLatin1String(variable)).isEmpty()) {
            return true;
        }
    }
    return false;
}

} // namespace quaylet
