// Tests of the texts quaylet-cli tells its outcomes in: lookup by key, place markers filled in
// one pass, and the notification lines made safe for a terminal.
#include <gtest/gtest.h>

#include "cli/string_table.h"
#include "cli/unplug_notification.h"

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
        {"%2 before %1", {"one", "two"}, "two before one"},
        {"%1 and %1", {"x"}, "x and x"},
        {"%1", {"%2 stays, %% too"}, "%2 stays, %% too"}, // an argument is never a format
        {"100%% of %1", {"it"}, "100% of it"},
        {"%3 and %0 and a lone %", {"a", "b"}, "%3 and %0 and a lone %"},
        {"%1", {}, "%1"},
        {"", {"unused"}, ""},
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

    // The built-in table carries every text the unplug outcomes use.
    for (const char* key : {"THUNDERBOLT_DOCK", "SAFE_TO_UNPLUG_DOCK", "UNSAFE_TO_UNPLUG_DOCK",
                            "BUSY_BOOT_VOLUME", "BUSY_VOLUME_WITH", "BUSY_VOLUME"}) {
        EXPECT_NE(StringTable::builtIn().text(key), key);
    }
}

TEST(StringTableTest, OutcomesPickTheirTextAndPrintOnSafeLines) {
    const auto table = *StringTable::fromJson(
        R"({"THUNDERBOLT_DOCK": "T", "SAFE_TO_UNPLUG_DOCK": "S", "UNSAFE_TO_UNPLUG_DOCK": "U",
            "BUSY_BOOT_VOLUME": "boot %1", "BUSY_VOLUME_WITH": "%1 by %2", "BUSY_VOLUME": "%1"})");
    EXPECT_EQ(notificationLines(goodEjectNotification(table)), "T\nS\n");
    EXPECT_EQ(badEjectNotification(table, "Dock", true, "ignored").informativeText, "boot Dock");
    EXPECT_EQ(badEjectNotification(table, "Dock", false, "app").informativeText, "Dock by app");
    EXPECT_EQ(badEjectNotification(table, "Dock", false, "").informativeText, "Dock");
    EXPECT_EQ(badEjectNotification(table, "", false, "app").informativeText, " by app");
    // Names come from disks and processes: they must not move the cursor or split the lines.
    EXPECT_EQ(notificationLines(badEjectNotification(table, "a\nb\\c", false, "x\033[2J")),
              "T\nU\na\\012b\\c by x\\033[2J\n");
}

} // namespace
} // namespace quaylet
