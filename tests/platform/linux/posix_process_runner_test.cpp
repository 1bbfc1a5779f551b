// Shell-less program runs: whole lines, unaltered arguments, signals, and waiting for the end.
#include <chrono>
#include <csignal>
#include <fstream>
#include <set>

#include <gtest/gtest.h>

#include "platform/linux/linux_platform.h"
#include "platform/linux/posix_process_runner.h"
#include "tests/support/test_paths.h"

namespace quaylet {
namespace {

class PosixProcessRunnerTest : public ::testing::Test {
protected:
    void TearDown() override { std::signal(SIGCHLD, SIG_DFL); }

    std::vector<std::string> linesOf(const std::vector<std::string>& argv,
                                     std::error_code* error = nullptr) {
        std::vector<std::string> lines;
        const std::error_code result =
            runner.run(argv, [&lines](std::string_view line) { lines.emplace_back(line); });
        if (error != nullptr) {
            *error = result;
        }
        return lines;
    }

    testing::TemporaryDirectory scratch;
    PosixProcessRunner runner;
};

TEST_F(PosixProcessRunnerTest, HandsOverWholeLinesOfAnyLengthWithTheirBytes) {
    const std::string longLine = std::string(70000, 'a') + "p1" + std::string(1, '\0') + "z\n";
    const std::string content = "first\n" + longLine + "\n" + "last without newline";
    const std::string file = scratch.path() + "/output";
    std::ofstream(file, std::ios::binary) << content;

    EXPECT_EQ(linesOf({"/bin/cat", file}),
              (std::vector<std::string>{"first\n", longLine, "\n", "last without newline"}));
}

TEST_F(PosixProcessRunnerTest, OnlyAFailedStartIsAnErrorAndInputIsEmpty) {
    std::error_code error;
    EXPECT_TRUE(linesOf({scratch.path() + "/no-such-program"}, &error).empty());
    EXPECT_EQ(error, std::errc::no_such_file_or_directory);
    EXPECT_EQ(runner.run({"/bin/echo", std::string("a\0b", 3)}, [](std::string_view) {}),
              std::errc::invalid_argument); // never cut short at the NUL
    EXPECT_TRUE(linesOf({"/bin/false"}, &error).empty());
    EXPECT_FALSE(error);
    EXPECT_TRUE(linesOf({"cat"}).empty()); // found in PATH; reads /dev/null, ends at once
}

TEST_F(PosixProcessRunnerTest, WaitsForTheChildsEndEvenWithSigchldIgnored) {
    std::signal(SIGCHLD, SIG_IGN);
    const auto start = std::chrono::steady_clock::now();
    const std::string marker = scratch.path() + "/ended";
    // Closes its output at once, then lives on for a while before it leaves a mark.
    std::error_code error;
    linesOf({"/bin/sh", "-c", "exec >&-; sleep 0.3; : > \"$0\"", marker}, &error);
    EXPECT_FALSE(error);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    EXPECT_TRUE(std::ifstream(marker).good());
}

TEST_F(PosixProcessRunnerTest, ARunStartedDuringAnotherInheritsNoneOfItsPipes) {
    const auto descriptors = [this] {
        const auto lines = linesOf({"/bin/ls", "/proc/self/fd"});
        return std::set<std::string>(lines.begin(), lines.end());
    };
    const std::set<std::string> alone = descriptors();
    std::set<std::string> nested;
    runner.run({"/bin/echo", "one line"}, [&](std::string_view) { nested = descriptors(); });
    EXPECT_EQ(nested, alone);
}

} // namespace
} // namespace quaylet
