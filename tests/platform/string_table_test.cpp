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

TEST(StringTableTest, ATranslationReplacesItsTextAndAMissingOneStaysInEnglish) {
    const auto english = StringTable::fromJson(R"({"SAFE": "Safe", "BUSY": "Busy %1"})");
    ASSERT_TRUE(english);
    const StringTable german =
        english->translated([](std::string_view key) -> std::optional<std::string> {
            return key == "BUSY" ? std::optional<std::string>("Belegt %1") : std::nullopt;
        });
    EXPECT_EQ(german.format("BUSY", {"x"}), "Belegt x");
    EXPECT_EQ(german.text("SAFE"), "Safe");
}

TEST(StringTableTest, AMissingKeyGivesTheKeyAndOnlyJsonObjectsAreTables) {
    const auto table = StringTable::fromJson(R"({"A": "Text %1", "N": 3})");
    ASSERT_TRUE(table);
    EXPECT_EQ(table->format("A", {"x"}), "Text x");
    EXPECT_EQ(table->text("N"), "N") << "a member that is no string is no text";
    EXPECT_EQ(table->format("MISSING_%1", {"x"}), "MISSING_x");
    EXPECT_FALSE(StringTable::fromJson("[\"A\"]"));
    EXPECT_FALSE(StringTable::fromJson("{\"A\": "));
}

} // namespace
} // namespace quaylet
