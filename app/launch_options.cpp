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
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Show the version."));
    parser.addOption(snapshot);
    parser.addOption(help);
    parser.addOption(version);
    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return std::nullopt;
    }
    if (!parser.positionalArguments().isEmpty()) {
        error = QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments()[0]);
        return std::nullopt;
    }
    LaunchOptions options;
    options.help = parser.isSet(help);
    options.version = parser.isSet(version);
    if (parser.isSet(snapshot)) {
        options.snapshotPath = QFile::encodeName(parser.value(snapshot)).toStdString();
    } else if (const QString path = environment.value(kSnapshotVariable); !path.isEmpty()) {
        options.snapshotPath = QFile::encodeName(path).toStdString();
    }
    return options;
}

QString LaunchOptions::usage() {
    return QStringLiteral(
        "Usage: quaylet [--snapshot FILE] | --help | --version\n"
        "The tray icon that makes it safe to unplug a Thunderbolt dock.\n"
        "\n"
        "  --snapshot FILE  Run on the machine a snapshot file describes, never on the live\n"
        "                   system's mounts (also: QUAYLET_SNAPSHOT=FILE).\n"
        "  -h, --help       Show this help.\n"
        "  --version        Show the version.\n");
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
