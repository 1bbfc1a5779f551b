// Tests of the command runner: standard output with its bytes.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/command_runner.h"

namespace quaylet {
namespace {

using namespace std::string_literals;

TEST(CommandRunner, ReturnsStandardOutputWithItsBytesOrNothing) {
    EXPECT_EQ(runShellCommand({"printf", "a\\0b\\r\\nc\\0"}), "a\0b\r\nc\0"s);
    EXPECT_EQ(runShellCommand({"/nonexistent/quaylet-tool"}), "");
}

} // namespace
} // namespace quaylet
