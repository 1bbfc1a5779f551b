// Tests of the tray's command line.
#include <gtest/gtest.h>

#include "app/launch_options.h"

namespace quaylet {
namespace {

// Parses `arguments` after the program's name, with QUAYLET_SNAPSHOT set to `variable`.
std::optional<LaunchOptions> parse(const QStringList& arguments, const QString& variable = {}) {
    QProcessEnvironment environment;
    if (!variable.isEmpty()) {
        environment.insert("QUAYLET_SNAPSHOT", variable);
    }
    QString error;
    auto options = LaunchOptions::parse(QStringList{"quaylet"} + arguments, environment, error);
    if (!options) {
        EXPECT_FALSE(error.isEmpty() || error.contains(u'\n')) << error.toStdString();
    }
    return options;
}

TEST(LaunchOptions, ReadsTheRequestAndTheSnapshotOptionBeforeTheEnvironmentAndRefusesTheRest) {
    EXPECT_EQ(parse({"--snapshot=m.json"}, "/env.json")->snapshotPath, "m.json");
    EXPECT_EQ(parse({}, "/env.json")->snapshotPath, "/env.json");
    EXPECT_TRUE(parse({"--help"})->help);
    const auto unplug = parse({"--unplug-everything", "--snapshot", "m"});
    ASSERT_TRUE(unplug);
    EXPECT_EQ(unplug->request, LaunchRequest::UnplugEverything);
    EXPECT_EQ(unplug->snapshotPath, "m");
    EXPECT_FALSE(parse({"--snapshot"}));
    EXPECT_FALSE(parse({"--unplug-dock", "--unplug-everything"}));
    EXPECT_FALSE(parse({"extra"}));
}

} // namespace
} // namespace quaylet
