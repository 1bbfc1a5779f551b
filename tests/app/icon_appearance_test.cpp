// Tests of the appearance table, the busy frame sequence and the template-image boundary.
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/icon_appearance.h"

namespace quaylet {
namespace {

struct RowCase {
    VLKIconAppearance code;
    std::string image;
    std::string titleKey;
    bool enabled;
    bool animates;
};

void PrintTo(const RowCase& c, std::ostream* out) {
    *out << "code " << c.code;
}

class IconAppearanceTest : public ::testing::TestWithParam<RowCase> {};

TEST_P(IconAppearanceTest, RowOfCode) {
    const RowCase& c = GetParam();
    const IconAppearanceRow& row = iconAppearanceRow(c.code);
    EXPECT_EQ(row.imageName, c.image);
    EXPECT_EQ(row.titleKey, c.titleKey);
    EXPECT_EQ(row.unplugEnabled, c.enabled);
    EXPECT_EQ(row.animates, c.animates);
}

INSTANTIATE_TEST_SUITE_P(
    Table, IconAppearanceTest,
    ::testing::Values(RowCase{0, "StatusItem", "UNPLUG_IN_MENU", true, false},
                      RowCase{1, "StatusItem", "NO_DOCKS_IN_MENU", false, false},
                      RowCase{2, "StatusBusy1", "EJECTING_IN_MENU", false, true},
                      RowCase{3, "StatusSafe", "SAFE_TO_UNPLUG_DOCK_IN_MENU", true, false},
                      RowCase{4, "StatusUnsafe", "UNPLUG_IN_MENU", true, false},
                      RowCase{7, "StatusItem", "UNPLUG_IN_MENU", true, false},
                      RowCase{-1, "StatusItem", "UNPLUG_IN_MENU", true, false},
                      RowCase{INT64_MIN, "StatusItem", "UNPLUG_IN_MENU", true, false}));

TEST(BusyFrames, CycleThroughSixFramesFromAFreshStart) {
    std::int32_t index = 0;
    std::vector<std::string> shown{busyFrameImageName(index)};
    for (int tick = 0; tick < 7; ++tick) {
        index = nextBusyFrameIndex(index);
        shown.emplace_back(busyFrameImageName(index));
    }
    EXPECT_EQ(shown, (std::vector<std::string>{"StatusBusy1", "StatusBusy2", "StatusBusy3",
                                               "StatusBusy4", "StatusBusy5", "StatusBusy6",
                                               "StatusBusy1", "StatusBusy2"}));
    EXPECT_EQ(nextBusyFrameIndex(9), 0);
}

TEST(TemplateImages, VersionBoundary) {
    EXPECT_FALSE(marksTemplateImages(1265.0));
    EXPECT_FALSE(marksTemplateImages(1265.99));
    EXPECT_TRUE(marksTemplateImages(1266.0));
    EXPECT_FALSE(marksTemplateImages(1138.0));
    EXPECT_TRUE(marksTemplateImages(currentToolkitVersion()));
}

} // namespace
} // namespace quaylet
