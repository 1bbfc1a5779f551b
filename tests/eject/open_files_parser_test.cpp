// The open-files field parser on recorded outputs of the tool.
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "eject/open_files_parser.h"
#include "tests/support/test_paths.h"

namespace quaylet {
namespace {

std::string recordedOutput(const std::string& name) {
    std::ifstream file(std::string(testing::kFixturesDir) + "/debian-desktop/lsof/" + name);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

class OpenFilesParserTest : public ::testing::Test {
protected:
    /// Feeds `output` line by line, as the process runner hands it over.
    void parse(std::string_view output) {
        OpenFilesParser parser(results, [this](std::int32_t pid, std::string_view command) {
            namedPids.push_back(pid);
            return command.empty() ? "name-" + std::to_string(pid) : std::string(command);
        });
        while (!output.empty()) {
            const std::size_t end = output.find('\n');
            const std::size_t size = end == std::string_view::npos ? output.size() : end + 1;
            parser.parseLine(output.substr(0, size));
            output.remove_prefix(size);
        }
        parser.finish();
    }

    std::vector<BusyProcess> results;
    std::vector<std::int32_t> namedPids;
};

struct RecordedCase {
    const char* file;
    std::vector<BusyProcess> expected;
};

void PrintTo(const RecordedCase& recorded, std::ostream* out) {
    *out << recorded.file;
}

class RecordedOutputTest : public OpenFilesParserTest,
                           public ::testing::WithParamInterface<RecordedCase> {};

TEST_P(RecordedOutputTest, YieldsTheToolsProcessesInOrder) {
    const std::string output = recordedOutput(GetParam().file);
    ASSERT_FALSE(output.empty()) << GetParam().file;
    parse(output);
    EXPECT_EQ(results, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Recorded, RecordedOutputTest,
    ::testing::Values(
        // Two groups of one pid stay apart; paths keep the tool's order.
        RecordedCase{"busy_dock_volumes.txt",
                     {{2301,
                       "name-2301",
                       {"/media/alice/Dock SSD", "/media/alice/Dock SSD/Projects/report.odt"}},
                      {2417, "name-2417", {"/media/alice/Dock SSD/Music"}},
                      {2417, "name-2417", {"/media/alice/Photos"}}}},
        RecordedCase{"lines_before_first_process.txt",
                     {{881, "name-881", {"/media/alice/Dock SSD"}}}},
        // "n/" lines are ignored; a group left without paths is dropped.
        RecordedCase{"root_paths_ignored.txt",
                     {{1502, "name-1502", {"/media/alice/Dock SSD/.cache"}}}},
        // Other field letters are skipped; a path reported twice is kept twice.
        RecordedCase{"other_fields.txt",
                     {{3001,
                       "name-3001",
                       {"/Volumes/Dock SSD", "/Volumes/Dock SSD/notes.txt",
                        "/Volumes/Dock SSD/notes.txt"}}}},
        // No digits read as pid 0; leading blanks are skipped; an empty name is a path.
        RecordedCase{"process_without_digits.txt",
                     {{0, "name-0", {"/media/alice/Stick"}},
                      {0, "name-0", {"/media/alice/Stick/a"}},
                      {42, "name-42", {""}}}},
        RecordedCase{"last_line_unterminated.txt",
                     {{77, "name-77", {"/media/alice/Dock SSD/no newline at end"}}}},
        // The "c" field names its own group only.
        RecordedCase{
            "command_names.txt",
            {{18636, "sleep", {"/media/alice/Dock SSD"}},
             {18637,
              "backup tool",
              {"/media/alice/Dock SSD/Projects", "/media/alice/Dock SSD/Projects/report.odt"}}}}));

TEST_F(OpenFilesParserTest, AVeryLongLineStaysOnePathAndInventsNoProcess) {
    // A 4095-byte reader would split this line and read its tail "p999..." as a new process.
    const std::string path = "/media/alice/" + std::string(4095 - 14, 'x') + "p999" +
                             std::string(10000, 'y') + std::string(1, '\0') + "tail";
    parse("p5\nn" + path + "\n");
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].openPaths, std::vector<std::string>{path});
    EXPECT_EQ(namedPids, std::vector<std::int32_t>{5});
}

TEST_F(OpenFilesParserTest, AnEmptyLineInsideAGroupIsSkipped) {
    parse("p7\n\nn/media/a\n");
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].openPaths, std::vector<std::string>{"/media/a"});
}

TEST(ParseProcessIdTest, ReadsLikeAtoiAndClampsToTheIntRange) {
    EXPECT_EQ(parseProcessId("  \t77x"), 77);
    EXPECT_EQ(parseProcessId("99999999999999999999"), 2147483647);
    EXPECT_EQ(parseProcessId("-99999999999999999999"), -2147483647 - 1);
}

} // namespace
} // namespace quaylet
