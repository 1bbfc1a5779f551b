// Golden tests of quaylet-cli: its transcripts on the fixture machines, compared with the
// expected files in tests/cli/golden. QUAYLET_UPDATE_GOLDEN=1 writes them afresh instead.
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/printable_text.h"
#include "cli/quaylet_cli.h"
#include "tests/support/test_paths.h"

namespace quaylet {
namespace {

constexpr std::string_view kFixturesMarker = "@FIXTURES@";
using Command = std::vector<std::string>;

std::string replaceAll(std::string text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

/// Runs one command line (fixture paths written as @FIXTURES@) and writes what a terminal
/// would show: the command, standard output, standard error and the exit status.
std::string transcript(const Command& command) {
    std::vector<std::string> arguments;
    std::string line = "$ quaylet-cli";
    for (const std::string& argument : command) {
        arguments.push_back(replaceAll(argument, kFixturesMarker, testing::kFixturesDir));
        line += " " + printablePath(argument);
    }
    std::ostringstream out, errors;
    const int status = runQuayletCli(arguments, out, errors);
    std::string text = line + "\n" + out.str();
    if (!errors.str().empty()) {
        text += "[standard error]\n" + errors.str();
    }
    text += "[exit " + std::to_string(status) + "]\n";
    return replaceAll(text, testing::kFixturesDir, kFixturesMarker);
}

struct GoldenCase {
    const char* golden;
    std::vector<Command> commands;
};

// Names the case in test logs instead of its bytes.
void PrintTo(const GoldenCase& c, std::ostream* out) {
    *out << c.golden;
}

class QuayletCliGoldenTest : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(QuayletCliGoldenTest, MatchesItsGoldenTranscript) {
    std::string actual;
    for (const Command& command : GetParam().commands) {
        actual += (actual.empty() ? "" : "\n") + transcript(command);
    }
    const std::string path = std::string(QUAYLET_GOLDEN_DIR) + "/" + GetParam().golden + ".txt";
    const char* update = std::getenv("QUAYLET_UPDATE_GOLDEN");
    if (update != nullptr && std::strcmp(update, "1") == 0) {
        std::ofstream(path, std::ios::trunc) << actual;
        GTEST_SKIP() << "wrote " << path;
    }
    std::ifstream file(path);
    ASSERT_TRUE(file) << "no golden file " << path << "; run with QUAYLET_UPDATE_GOLDEN=1";
    const std::string expected{std::istreambuf_iterator<char>(file),
                               std::istreambuf_iterator<char>()};
    EXPECT_EQ(actual, expected) << "golden file " << path;
}

Command tree(const std::string& machine, Command command) {
    Command full{"--sysfs", "@FIXTURES@/" + machine + "/sys", "--mountinfo",
                 "@FIXTURES@/" + machine + "/mountinfo"};
    full.insert(full.end(), command.begin(), command.end());
    return full;
}

Command snapshot(const std::string& machine, Command command) {
    Command full{"--snapshot", "@FIXTURES@/" + machine + "/machine.json"};
    full.insert(full.end(), command.begin(), command.end());
    return full;
}

const GoldenCase kCases[] = {
    {"help", {{"--help"}, {"status", "--help"}, {"unplug", "-h"}, {"monitor", "--help"}}},
    {"status_device_trees",
     {tree("laptop-dock", {"status"}), tree("laptop-dock", {"status", "--everything", "--json"}),
      tree("laptop-undocked", {"status"}), tree("laptop-undocked", {"status", "--everything"}),
      tree("laptop-dock-heavy", {"status"})}},
    {"status_recorded_machines",
     {tree("usb4-laptop-dock", {"status", "--everything"}),
      tree("two-thunderbolt-domains", {"status", "--everything"}),
      tree("dock-beside-usb4-hub", {"status", "--everything"}),
      tree("dock-beside-usb4-hub", {"status", "--json"}),
      tree("firmware-marked-host", {"status", "--everything"}),
      tree("kernel-without-removable", {"status", "--everything"})}},
    {"status_snapshots",
     {snapshot("laptop-with-dock-11", {"status"}),
      snapshot("laptop-with-dock-10-15", {"status", "--everything"}),
      snapshot("laptop-booted-from-dock", {"status"}),
      snapshot("laptop-booted-from-dock", {"status", "--json"}),
      snapshot("laptop-without-dock", {"status"}),
      snapshot("laptop-with-dock-11", {"status", "--holders", "--json"})}},
    {"unplug_snapshots",
     {snapshot("laptop-with-dock-11", {"unplug"}), snapshot("laptop-booted-from-dock", {"unplug"}),
      snapshot("laptop-without-dock", {"unplug", "--everything"}),
      snapshot("laptop-with-unreadable-mount-table", {"unplug"}),
      snapshot("laptop-with-busy-dock", {"unplug", "--json"}),
      snapshot("laptop-with-unreadable-mount-table", {"status"})}},
    {"unplug_recorded_table",
     {tree("laptop-dock", {"unplug"}), tree("laptop-undocked", {"unplug"})}},
    {"usage_errors",
     {{},
      {"eject"},
      {"status", "unplug"},
      {"status", "--verbose"},
      {"monitor", "--json"},
      {"monitor", "--everything"},
      {"status", "--json=yes"},
      {"status", "--sysfs"},
      {"status", "--sysfs="},
      {"--snapshot", "x.json", "--sysfs", "/sys", "status"},
      {"--sysfs", "@FIXTURES@/no-such-machine/sys", "status"},
      {"--snapshot", "@FIXTURES@/no-such-machine/machine.json", "status"},
      {"--sysfs", "@FIXTURES@/laptop-dock/sys", "--mountinfo", "@FIXTURES@/laptop-dock", "status"},
      {"status", "bad\033[2Jname"},
      {"unplug", "--yes"},
      {"status", "--quit-holders"},
      {"--snapshot", "x.json", "unplug", "--quit-holders", "--yes"}}},
};

INSTANTIATE_TEST_SUITE_P(Transcripts, QuayletCliGoldenTest, ::testing::ValuesIn(kCases),
                         [](const auto& test) { return std::string(test.param.golden); });

// The live system: whatever this machine has, the status is read and exits 0 without a word
// on standard error.
TEST(QuayletCliLiveTest, StatusReadsThisMachine) {
    std::ostringstream out, errors;
    EXPECT_EQ(runQuayletCli({"status"}, out, errors), 0);
    EXPECT_TRUE(out.str().starts_with("Docks: ")) << out.str();
    EXPECT_EQ(errors.str(), "");
}

} // namespace
} // namespace quaylet
