// Tests of the command runner: whole output, zero bytes, long lines, signals, missing tools.
#include <csignal>
#include <ostream>
#include <string>
#include <vector>

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "app/command_runner.h"
#include "app/security_settings.h"

namespace quaylet {
namespace {

using namespace std::string_literals;

struct RunCase {
    std::vector<std::string> argv;
    std::string output;
};

void PrintTo(const RunCase& c, std::ostream* out) {
    *out << "argv";
    for (const std::string& argument : c.argv) {
        *out << " " << ::testing::PrintToString(argument);
    }
}

class CommandRunnerTest : public ::testing::TestWithParam<RunCase> {};

TEST_P(CommandRunnerTest, ReturnsStandardOutputUnaltered) {
    EXPECT_EQ(runShellCommand(GetParam().argv), GetParam().output);
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, CommandRunnerTest,
    ::testing::Values(RunCase{{"printf", "%s", "a b'\"$HOME\\*"}, "a b'\"$HOME\\*"},
                      RunCase{{"printf", "a\\0b\\nc\\0"}, "a\0b\nc\0"s},
                      RunCase{{"printf", "one\\r\\ntwo\\n"}, "one\r\ntwo\n"}, RunCase{{"true"}, ""},
                      RunCase{{"/nonexistent/quaylet-tool"}, ""}, RunCase{{}, ""}));

TEST(CommandRunner, LongLineArrivesWhole) {
    QTemporaryDir dir;
    const std::string line = std::string(10000, 'x') + "\n";
    QFile file(dir.filePath("line"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(line.data(), static_cast<qint64>(line.size()));
    file.close();
    EXPECT_EQ(runShellCommand({"cat", file.fileName().toStdString()}), line);
}

// Restores a signal's disposition when the test ends.
class IgnoredSignal {
public:
    explicit IgnoredSignal(int number) : number_(number) {
        previous_ = std::signal(number, SIG_IGN);
    }
    ~IgnoredSignal() { std::signal(number_, previous_); }
    IgnoredSignal(const IgnoredSignal&) = delete;
    IgnoredSignal& operator=(const IgnoredSignal&) = delete;

private:
    int number_;
    void (*previous_)(int);
};

TEST(CommandRunner, WaitsAndResetsSignalsWhileTheyAreIgnored) {
    const IgnoredSignal child(SIGCHLD);
    const IgnoredSignal pipe(SIGPIPE);
    EXPECT_EQ(runShellCommand({"printf", "done"}), "done");
    const std::string status = runShellCommand({"cat", "/proc/self/status"});
    const std::size_t at = status.find("SigIgn:");
    ASSERT_NE(at, std::string::npos);
    const unsigned long long ignored = std::stoull(status.substr(at + 7), nullptr, 16);
    EXPECT_EQ(ignored & (1ULL << (SIGPIPE - 1)), 0U);
    EXPECT_EQ(ignored & (1ULL << (SIGCHLD - 1)), 0U);
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
