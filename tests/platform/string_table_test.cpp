// Tests of the string table: lookup by key, place markers filled in one pass, and the texts
// built into the programs.
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
        {"%2 before %1", {"one", "two"}, "two before one"},
        {"%1 and %1", {"x"}, "x and x"},
        {"%1", {"%2 stays, %% too"}, "%2 stays, %% too"}, // an argument is never a format
        {"%1 is busy", {"50% off %s %@ %n"}, "50% off %s %@ %n is busy"},
        {"100%% of %1", {"it"}, "100% of it"},
        {"%3 and %0 and a lone %", {"a", "b"}, "%3 and %0 and a lone %"},
        {"%1", {}, "%1"},
        {"", {"unused"}, ""},
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

// A key missing from resources/strings/en.json would show as the key itself.
TEST(StringTableTest, TheBuiltInTableHasEveryTextTheProgramsUse) {
    for (const char* key : {"THUNDERBOLT_DOCK",
                            "SAFE_TO_UNPLUG_DOCK",
                            "UNSAFE_TO_UNPLUG_DOCK",
                            "BUSY_BOOT_VOLUME",
                            "BUSY_VOLUME_WITH",
                            "BUSY_VOLUME",
                            "UNREADABLE_MOUNT_TABLE",
                            "UNPLUG_IN_MENU",
                            "NO_DOCKS_IN_MENU",
                            "EJECTING_IN_MENU",
                            "SAFE_TO_UNPLUG_DOCK_IN_MENU",
                            "UNPLUG_EVERYTHING_IN_MENU",
                            "PREFERENCES_IN_MENU",
                            "MORE_INFO_IN_MENU",
                            "QUIT_IN_MENU",
                            "PREFERENCES_WINDOW_TITLE",
                            "INSTALLATION_TITLE",
                            "WARNING_MESSAGE",
                            "RESTART_TITLE",
                            "RESTART_MESSAGE",
                            "START_ON_LOGIN",
                            "OPEN_SECURITY_SETTINGS"}) {
        EXPECT_NE(StringTable::builtIn().text(key), key);
    }
}

} // namespace
} // namespace quaylet
