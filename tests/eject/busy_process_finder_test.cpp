// The busy-process finder over a scripted open-files tool, ps tool and application lookup.
#include <map>

#include <gtest/gtest.h>

#include "eject/busy_process_finder.h"
#include "tests/support/recording_process_runner.h"

namespace quaylet {
namespace {

using testing::RecordingProcessRunner;

class FakeApplications : public ApplicationLookup {
public:
    std::optional<std::string> applicationName(std::int32_t pid) const override {
        const auto it = names.find(pid);
        return it == names.end() ? std::nullopt : it->second;
    }
    std::map<std::int32_t, std::optional<std::string>> names;
};

UnmountFailure failureAt(const std::string& mountPoint) {
    return UnmountFailure::fromVolume({"/dev/sdb1", mountPoint, "Dock SSD", ""}, "", 0);
}

class BusyProcessFinderTest : public ::testing::Test {
protected:
    std::optional<std::string> answer(const std::vector<std::string>& argv) {
        if (argv.front().ends_with("/lsof")) {
            return lsofOutput;
        }
        return psOutput;
    }

    std::optional<std::string> lsofOutput = std::string();
    std::optional<std::string> psOutput = std::string("COMMAND\n");
    RecordingProcessRunner runner{[this](const auto& argv) {
        return answer(argv);
    }};
    ToolCommands commands = ToolCommands::forLinux("/usr/bin/quaylet-diskutil");
    FakeApplications applications;
    BusyProcessFinder finder{ProcessTools{runner, commands, applications}};
};

TEST_F(BusyProcessFinderTest, SearchesEachFailedMountPointAsOneUnalteredArgument) {
    const std::string odd = "/media/alice/a \"b\" $(touch x) `y` \\z\nw";
    finder.addFailedVolumes({failureAt("/media/alice/Dock SSD"), failureAt(""), failureAt(odd),
                             failureAt("/media/alice/Dock SSD")});
    finder.findBusyProcesses();
    ASSERT_EQ(runner.runs().size(), 1u);
    EXPECT_EQ(runner.runs()[0],
              (std::vector<std::string>{"/usr/bin/lsof", "-Fcn", "/media/alice/Dock SSD", odd,
                                        "/media/alice/Dock SSD"}));
}

TEST_F(BusyProcessFinderTest, WithoutSearchPathsSearchesTheRootAndIgnoresIt) {
    finder.setProcessIds({7, 8});
    lsofOutput = "p7\nn/\np8\nn/\n";
    EXPECT_EQ(finder.findBusyProcesses(), 0u);
    EXPECT_EQ(runner.runs().at(0),
              (std::vector<std::string>{"/usr/bin/lsof", "-Fcn", "-p", "7,8", "/"}));
}

TEST_F(BusyProcessFinderTest, ToolThatCannotStartLeavesTheCountUnchanged) {
    lsofOutput = "p1\nn/a\n";
    finder.findBusyProcesses();
    lsofOutput = std::nullopt;
    EXPECT_EQ(finder.findBusyProcesses(), 1u);
    finder.clear();
    EXPECT_EQ(finder.processCount(), 0u);
    EXPECT_TRUE(finder.searchPaths().empty());
}

TEST_F(BusyProcessFinderTest, NamesEachProcessFromTheSameRunWithoutPs) {
    applications.names[31] = "Files";
    lsofOutput = "p31\ncnautilus\nn/media/a\np32\ncsleep\nn/media/a/x\np33\nn/media/a/y\n";
    finder.findBusyProcesses();
    const std::vector<BusyProcess> expected{
        {31, "Files", {"/media/a"}}, {32, "sleep", {"/media/a/x"}}, {33, "pid 33", {"/media/a/y"}}};
    EXPECT_EQ(finder.busyProcesses(), expected);
}

struct PsNamingCase {
    const char* what;
    std::optional<std::string> application;
    std::optional<std::string> psOutput; ///< nullopt: ps cannot start
    std::string expected;
};

void PrintTo(const PsNamingCase& naming, std::ostream* out) {
    *out << naming.what;
}

class PsNamingTest : public BusyProcessFinderTest,
                     public ::testing::WithParamInterface<PsNamingCase> {};

// Where the open-files tool reports no command name (macOS), ps names the process.
TEST_P(PsNamingTest, FallsBackFromApplicationToPsToPid) {
    const PsNamingCase& naming = GetParam();
    commands = ToolCommands::macOS();
    applications.names[-5] = naming.application;
    psOutput = naming.psOutput;
    EXPECT_EQ(finder.processNameForPid(-5), naming.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Fallbacks, PsNamingTest,
    ::testing::Values(PsNamingCase{"application", "Finder", "COMMAND\nfinder-bin\n", "Finder"},
                      PsNamingCase{"ps keeps trailing blanks", std::nullopt,
                                   "COMMAND\nmy tool  \nx\n", "my tool  "},
                      PsNamingCase{"ps prints only its header", std::nullopt, "COMMAND\n",
                                   "pid -5"},
                      PsNamingCase{"ps cannot start", std::nullopt, std::nullopt, "pid -5"}));

} // namespace
} // namespace quaylet
