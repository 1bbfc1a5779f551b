// Tests of the string table: lookup by key, and place markers filled in one pass.
#include <gtest/gtest.h>

#include "platform/string_table.h"

namespace quaylet {
namespace {

TEST(StringTableTest, FillsPlaceMarkersInOnePassAndLeavesTheRestAsText) {
    const struct {
        const char* format;
        std::vector<std::string> arguments;
        const char* expected;
    } cases[] = {
        {"%2 before %1 and %1", {"one", "two"}, "two before one and one"},
        {"%1", {"%2 stays, %% too"}, "%2 stays, %% too"}, // an argument is never a format
        {"%1 is busy", {"50% off %s %@ %n"}, "50% off %s %@ %n is busy"},
        {"100%% of %1", {"it"}, "100% of it"},
        {"%3 and %0 and a lone %", {"a", "b"}, "%3 and %0 and a lone %"},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(formatText(item.format, item.arguments), item.expected) << item.format;
    }
}

} // namespace
} // namespace quaylet
