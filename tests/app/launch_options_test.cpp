// Tests of the tray's command line.
#include <gtest/gtest.h>

#include "app/launch_options.h"

namespace quaylet {
namespace {

struct OptionsCase {
    QStringList arguments;
    QString snapshotVariable;
    std::optional<std::string> snapshotPath;
    bool help;
    bool valid;
    LaunchRequest request = LaunchRequest::ShowPreferences;
};

class LaunchOptionsTest : public ::testing::TestWithParam<OptionsCase> {};

TEST_P(LaunchOptionsTest, ReadsTheRequestAndTheSnapshotOptionBeforeTheEnvironment) {
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
        EXPECT_EQ(options->request, c.request);
    } else {
        EXPECT_FALSE(error.isEmpty());
        EXPECT_FALSE(error.contains(u'\n'));
    }
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, LaunchOptionsTest,
    ::testing::Values(OptionsCase{{"--snapshot=m.json"}, "/env.json", "m.json", false, true},
                      OptionsCase{{}, "/env.json", "/env.json", false, true},
                      OptionsCase{{"--help"}, "", std::nullopt, true, true},
                      OptionsCase{{"--snapshot"}, "", std::nullopt, false, false},
                      OptionsCase{{"--unplug-everything", "--snapshot", "m"},
                                  "",
                                  "m",
                                  false,
                                  true,
                                  LaunchRequest::UnplugEverything},
                      OptionsCase{
                          {"--unplug-dock", "--unplug-everything"}, "", std::nullopt, false, false},
                      OptionsCase{{"extra"}, "", std::nullopt, false, false}));

} // namespace
} // namespace quaylet
