// The string table: lookup by key and place markers filled in one pass.
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
        {"“%1” is still in use by %2.",
         {"Dock SSD", "Preview"},
         "“Dock SSD” is still in use by Preview."},
        {"%1", {"%2 stays, %% too"}, "%2 stays, %% too"}, // an argument is never a format
        {"%1 is busy", {"50% off %s %@ %n"}, "50% off %s %@ %n is busy"},
        {"100%% of %1", {"it"}, "100% of it"},
        {"%3 and %0 and a lone %", {"a", "b"}, "%3 and %0 and a lone %"},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(formatText(item.format, item.arguments), item.expected) << item.format;
    }
}

TEST(StringTableTest, AMissingKeyGivesTheKeyAndOnlyJsonObjectsAreTables) {
    const auto table = StringTable::fromJson(R"({"A": "Text %1", "N": 3, "B": ""})");
    ASSERT_TRUE(table);
    EXPECT_EQ(table->text("A"), "Text %1");
    EXPECT_EQ(table->format("A", {"x"}), "Text x");
    EXPECT_EQ(table->text("B"), "");
    EXPECT_EQ(table->text("N"), "N") << "a member that is no string is no text";
    EXPECT_EQ(table->format("MISSING_%1", {"x"}), "MISSING_x");
    EXPECT_FALSE(StringTable::fromJson("[\"A\"]"));
    EXPECT_FALSE(StringTable::fromJson("{\"A\": "));
}

} // namespace
} // namespace quaylet
