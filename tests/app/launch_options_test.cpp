// Tests of the command line, the desktop-session check and the choice of the session's platform.
#include <gtest/gtest.h>

#include "app/launch_options.h"
#include "app/session_platform.h"
#include "tests/support/fixture_machine.h"

namespace quaylet {
namespace {

struct OptionsCase {
    QStringList arguments;
    QString snapshotVariable;
    std::optional<std::string> snapshotPath;
    bool help;
    bool valid;
};

class LaunchOptionsTest : public ::testing::TestWithParam<OptionsCase> {};

TEST_P(LaunchOptionsTest, ReadsTheSnapshotFromTheOptionBeforeTheEnvironment) {
    const OptionsCase& c = GetParam();
    QProcessEnvironment environment;
    if (!c.snapshotVariable.isEmpty()) {
        environment.insert("QUAYLET_SNAPSHOT", c.snapshotVariable);
    }
    QString error;
    const auto options =
        LaunchOptions::parse(QStringList{"quaylet"} + c.arguments, environment, error);
    ASSERT_EQ(options.has_value(), c.valid) << error.toStdString();
    if (options) {
        EXPECT_EQ(options->snapshotPath, c.snapshotPath);
        EXPECT_EQ(options->help, c.help);
    } else {
        EXPECT_FALSE(error.isEmpty());
        EXPECT_FALSE(error.contains(u'\n'));
    }
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, LaunchOptionsTest,
    ::testing::Values(OptionsCase{{}, "", std::nullopt, false, true},
                      OptionsCase{{"--snapshot", "/a b/m.json"}, "", "/a b/m.json", false, true},
                      OptionsCase{{"--snapshot=m.json"}, "/env.json", "m.json", false, true},
                      OptionsCase{{}, "/env.json", "/env.json", false, true},
                      OptionsCase{{"--help"}, "", std::nullopt, true, true},
                      OptionsCase{{"--snapshot"}, "", std::nullopt, false, false},
                      OptionsCase{{"--unplug"}, "", std::nullopt, false, false},
                      OptionsCase{{"extra"}, "", std::nullopt, false, false}));

TEST(DesktopSession, NeedsADisplayOrAChosenQtPlatform) {
    QProcessEnvironment environment;
    EXPECT_FALSE(hasDesktopSession(environment));
    environment.insert("DISPLAY", "");
    EXPECT_FALSE(hasDesktopSession(environment));
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        QProcessEnvironment session;
        session.insert(variable, "x");
        EXPECT_TRUE(hasDesktopSession(session)) << variable;
    }
}

TEST(SessionPlatform, SnapshotGivesTheMachineAndABadFileOneLineNamingIt) {
    std::string error;
    const auto platform = makeSessionPlatform(testing::fixturePath("laptop_with_busy_dock"), error);
    ASSERT_NE(platform, nullptr) << error;
    EXPECT_EQ(platform->mountTable->entries().size(), 6U);
    EXPECT_TRUE(platform->registry && platform->mountMonitor && platform->processRunner);

    const std::string missing = std::string(testing::kFixturesDir) + "/none/machine.json";
    EXPECT_EQ(makeSessionPlatform(missing, error), nullptr);
    EXPECT_NE(error.find(missing), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
}

} // namespace
} // namespace quaylet
