// Finding, adding and removing Quaylet's entry among the XDG autostart entries.
#include "app/autostart_list.h"

#include <algorithm>
#include <utility>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "app/autostart_entry.h"

namespace quaylet {

namespace {

// The program an entry starts, made absolute with symbolic links resolved (empty when it
// cannot be resolved), and whether the entry is switched on.
std::pair<QString, bool> resolvedProgram(const QString& entryPath) {
    const std::optional<AutostartEntry> entry = readAutostartEntry(entryPath);
    if (!entry || entry->program.isEmpty()) {
        return {};
    }
    QString absolute = entry->program;
    if (!absolute.contains(u'/')) {
        absolute = QStandardPaths::findExecutable(absolute);
    }
    if (!QDir::isAbsolutePath(absolute)) {
        return {};
    }
    return {QFileInfo(absolute).canonicalFilePath(), entry->enabled};
}

} // namespace

AutostartList::AutostartList(QString directory, QString executable)
    : directory_(std::move(directory)), executable_(std::move(executable)) {}

std::unique_ptr<AutostartList> AutostartList::open(const QString& directory,
                                                   const QString& executable) {
    if (directory.isEmpty() || !QDir().mkpath(directory)) {
        return nullptr;
    }
    return std::unique_ptr<AutostartList>(new AutostartList(directory, executable));
}

QString AutostartList::defaultDirectory() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(config)) {
        config = QDir::homePath() + QStringLiteral("/.config");
    }
    return config + QStringLiteral("/autostart");
}

QStringList AutostartList::entries() const {
    const QDir dir(directory_);
    QStringList names = dir.entryList({QStringLiteral("*.desktop")},
                                      QDir::Files | QDir::System | QDir::Hidden, QDir::NoSort);
    std::sort(names.begin(), names.end());
    for (QString& name : names) {
        name = dir.filePath(name);
    }
    return names;
}

std::optional<QString> AutostartList::ownEntry() const {
    return findOwnEntry(true);
}

std::optional<QString> AutostartList::findOwnEntry(bool enabled) const {
    const QString target = QFileInfo(executable_).canonicalFilePath();
    if (target.isEmpty()) {
        return std::nullopt;
    }
    for (const QString& entry : entries()) {
        if (resolvedProgram(entry) == std::pair{target, enabled}) {
            return entry;
        }
    }
    return std::nullopt;
}

bool AutostartList::addOwnEntry() {
    if (ownEntry()) {
        return true;
    }
    const QString target = QFileInfo(executable_).canonicalFilePath();
    // An entry of Quaylet's that was switched off is switched on again by writing it anew,
    // rather than left beside a second one.
    return !target.isEmpty() &&
           writeAutostartEntry(findOwnEntry(false).value_or(freeEntryPath()), target);
}

bool AutostartList::removeOwnEntry() {
    const std::optional<QString> entry = ownEntry();
    return entry && QFile::remove(*entry);
}

QString AutostartList::freeEntryPath() const {
    const QDir dir(directory_);
    QString path = dir.filePath(QStringLiteral("quaylet.desktop"));
    for (int number = 2; QFileInfo(path).exists() || QFileInfo(path).isSymLink(); ++number) {
        path = dir.filePath(QStringLiteral("quaylet-%1.desktop").arg(number));
    }
    return path;
}

} // namespace quaylet
