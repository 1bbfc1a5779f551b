// The unplug command's words on a terminal: names from disks print on their own line, escaped.
#include <sstream>

#include <gtest/gtest.h>

#include "cli/cli_options.h"
#include "cli/unplug_command.h"
#include "platform/memory/snapshot_loader.h"
#include "tests/support/fixture_machine.h"

namespace quaylet {
namespace {

TEST(UnplugCommandTest, ANameCannotMoveTheCursorOrSplitTheLines) {
    SnapshotError error;
    auto snapshot = loadSnapshot(testing::fixturePath("laptop-booted-from-dock"), error);
    ASSERT_TRUE(snapshot) << error.problem;
    snapshot->displayNames["/"] = "a\nb\\c %1\033[2J";
    Platform platform = makeSnapshotPlatform(*snapshot);
    const auto strings = *StringTable::fromJson(
        R"({"THUNDERBOLT_DOCK": "T", "UNSAFE_TO_UNPLUG_DOCK": "U", "BUSY_BOOT_VOLUME": "boot %1"})");
    std::ostringstream out, errors;
    EXPECT_EQ(runUnplugCommand(platform, {}, strings, out, errors), kExitUnsafe);
    EXPECT_EQ(out.str(), "T\nU\nboot a\\012b\\c %1\\033[2J\n");
}

} // namespace
} // namespace quaylet
