// Tests of the command runner and the choice of the desktop's security settings.
#include <algorithm>
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
}

TEST(CommandRunner, SecurityPreferencesSucceedOnEmptyOutput) {
    EXPECT_TRUE(openSecurityPreferences({"true"}));
    EXPECT_FALSE(openSecurityPreferences({"echo", "complaint"}));
}

TEST(SecuritySettings, PicksTheDesktopsOwnSettingsAmongThoseInstalled) {
    const auto only = [](std::vector<QString> installed) {
        return [installed](const QString& program) {
            return std::find(installed.begin(), installed.end(), program) != installed.end();
        };
    };
    const std::vector<std::string> gnome{"gnome-control-center", "privacy"};
    const std::vector<std::string> kde{"systemsettings", "kcm_screenlocker"};
    EXPECT_EQ(securitySettingsCommand("ubuntu:GNOME", only({"gnome-control-center"})), gnome);
    EXPECT_EQ(securitySettingsCommand("KDE", only({"gnome-control-center"})), gnome);
    EXPECT_EQ(securitySettingsCommand("XFCE", only({"systemsettings"})), kde);
}

} // namespace
} // namespace quaylet
