// Tests of the texts table: lookup by key, safe formatting, and the English table's coverage.
#include <ostream>

#include <gtest/gtest.h>

#include "app/icon_appearance.h"
#include "app/localized_strings.h"

namespace quaylet {
namespace {

struct FormatCase {
    const char* format;
    QStringList arguments;
    const char* expected;
};

void PrintTo(const FormatCase& c, std::ostream* out) {
    *out << c.format;
}

class LocalizedStringsTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(LocalizedStringsTest, FormatsInOnePass) {
    const FormatCase& c = GetParam();
    EXPECT_EQ(formatText(QString::fromUtf8(c.format), c.arguments), QString::fromUtf8(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Markers, LocalizedStringsTest,
    ::testing::Values(FormatCase{"“%1” is busy", {"Backup"}, "“Backup” is busy"},
                      FormatCase{"%1 held by %2", {"%2", "%1"}, "%2 held by %1"},
                      FormatCase{"%1 is busy", {"50% off %s %@ %n"}, "50% off %s %@ %n is busy"},
                      FormatCase{"%2 before %1", {"a", "b"}, "b before a"},
                      FormatCase{"100%% of %1", {"x"}, "100% of x"},
                      FormatCase{"%1 and %2", {"only"}, "only and %2"},
                      FormatCase{"ends in %", {}, "ends in %"}));

TEST(LocalizedStringsLookup, MissingKeyGivesTheKey) {
    LocalizedStrings strings;
    strings.insert("KNOWN", "Known %1");
    EXPECT_EQ(strings.text("KNOWN"), "Known %1");
    EXPECT_EQ(strings.text("UNKNOWN_KEY"), "UNKNOWN_KEY");
    EXPECT_EQ(strings.format("KNOWN", {"%1"}), "Known %1");
    EXPECT_EQ(LocalizedStrings::fromFile("/nonexistent/strings.json").size(), 0);
}

TEST(LocalizedStringsLookup, EnglishHasEveryKey) {
    const LocalizedStrings english = LocalizedStrings::forLanguage("xx");
    QStringList keys{"THUNDERBOLT_DOCK",          "SAFE_TO_UNPLUG_DOCK",
                     "UNSAFE_TO_UNPLUG_DOCK",     "BUSY_BOOT_VOLUME",
                     "BUSY_VOLUME_WITH",          "BUSY_VOLUME",
                     "UNPLUG_EVERYTHING_IN_MENU", "PREFERENCES_IN_MENU",
                     "MORE_INFO_IN_MENU",         "QUIT_IN_MENU",
                     "PREFERENCES_WINDOW_TITLE",  "INSTALLATION_TITLE",
                     "WARNING_MESSAGE",           "RESTART_TITLE",
                     "RESTART_MESSAGE",           "START_ON_LOGIN",
                     "OPEN_SECURITY_SETTINGS"};
    for (VLKIconAppearance code = 0; code <= VLKIconAppearanceUnsafe; ++code) {
        keys << QString::fromLatin1(iconAppearanceRow(code).titleKey);
    }
    for (const QString& key : keys) {
        EXPECT_NE(english.text(key), key) << key.toStdString();
    }
    EXPECT_EQ(english.format("BUSY_VOLUME_WITH", {"Disk", "cp"}),
              "“Disk” is still in use by cp. Quit it and try again.");
}

} // namespace
} // namespace quaylet
