// Tests of the command runner and the choice of the desktop's security settings.
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/command_runner.h"
#include "app/security_settings.h"

namespace quaylet {
namespace {

using namespace std::string_literals;

TEST(CommandRunner, ReturnsStandardOutputWithItsBytesOrNothing) {
    EXPECT_EQ(runShellCommand({"printf", "a\\0b\\r\\nc\\0"}), "a\0b\r\nc\0"s);
    EXPECT_EQ(runShellCommand({"/nonexistent/quaylet-tool"}), "");
    EXPECT_EQ(runShellCommand({}), "");
}

TEST(CommandRunner, SecurityPreferencesSucceedOnEmptyOutput) {
    EXPECT_TRUE(openSecurityPreferences({"true"}));
    EXPECT_FALSE(openSecurityPreferences({"echo", "complaint"}));
    EXPECT_FALSE(openSecurityPreferences({}));
}

struct DesktopCase {
    const char* desktop;
    std::vector<QString> installed;
    std::optional<std::vector<std::string>> command;
};

void PrintTo(const DesktopCase& c, std::ostream* out) {
    *out << "desktop \"" << c.desktop << "\" with";
    for (const QString& program : c.installed) {
        *out << " " << program.toStdString();
    }
}

class SecuritySettingsTest : public ::testing::TestWithParam<DesktopCase> {};

TEST_P(SecuritySettingsTest, PicksTheDesktopsOwnSettings) {
    const DesktopCase& c = GetParam();
    const auto installed = [&c](const QString& program) {
        return std::find(c.installed.begin(), c.installed.end(), program) != c.installed.end();
    };
    EXPECT_EQ(securitySettingsCommand(QString::fromLatin1(c.desktop), installed), c.command);
}

const std::vector<std::string> kGnome{"gnome-control-center", "privacy"};
const std::vector<std::string> kKde{"systemsettings", "kcm_screenlocker"};

INSTANTIATE_TEST_SUITE_P(
    Desktops, SecuritySettingsTest,
    ::testing::Values(DesktopCase{"ubuntu:GNOME", {"gnome-control-center"}, kGnome},
                      DesktopCase{"KDE", {"gnome-control-center", "systemsettings"}, kKde},
                      DesktopCase{"KDE", {"gnome-control-center"}, kGnome},
                      DesktopCase{"XFCE", {"systemsettings"}, kKde},
                      DesktopCase{"", {}, std::nullopt},
                      DesktopCase{"GNOME", {"xfce4-settings-manager"}, std::nullopt}));

} // namespace
} // namespace quaylet
