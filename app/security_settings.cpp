// The desktops whose settings programs have a privacy page, and the choice among them.
#include "app/security_settings.h"

#include <array>

#include <QStandardPaths>
#include <QStringList>

namespace quaylet {

namespace {

struct SettingsProgram {
    const char* desktop; // name as it appears in XDG_CURRENT_DESKTOP
    std::vector<std::string> command;
};

const std::array<SettingsProgram, 2>& settingsPrograms() {
    static const std::array<SettingsProgram, 2> programs{{
        {"GNOME", {"gnome-control-center", "privacy"}},
        {"KDE", {"systemsettings", "kcm_screenlocker"}},
    }};
    return programs;
}

} // namespace

std::optional<std::vector<std::string>> securitySettingsCommand(const QString& currentDesktop,
                                                                const ProgramLookup& isInstalled) {
    const QStringList desktops = currentDesktop.split(u':', Qt::SkipEmptyParts);
    for (const SettingsProgram& program : settingsPrograms()) {
        if (desktops.contains(QLatin1String(program.desktop), Qt::CaseInsensitive) &&
            isInstalled(QString::fromStdString(program.command.front()))) {
            return program.command;
        }
    }
    for (const SettingsProgram& program : settingsPrograms()) {
        if (isInstalled(QString::fromStdString(program.command.front()))) {
            return program.command;
        }
    }
    return std::nullopt;
}

std::optional<std::vector<std::string>> sessionSecuritySettingsCommand() {
    return securitySettingsCommand(
        qEnvironmentVariable("XDG_CURRENT_DESKTOP"),
        [](const QString& program) { return !QStandardPaths::findExecutable(program).isEmpty(); });
}

} // namespace quaylet
