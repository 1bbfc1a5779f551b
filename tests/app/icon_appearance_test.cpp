// Tests of the template-image version boundary and the busy frame counter's edges; the table
// itself is tested through the delegate (status_item_test.cpp).
#include <gtest/gtest.h>

#include "app/icon_appearance.h"

namespace quaylet {
namespace {

TEST(TemplateImages, VersionBoundary) {
    EXPECT_FALSE(marksTemplateImages(1265.0));
    EXPECT_FALSE(marksTemplateImages(1265.99));
    EXPECT_TRUE(marksTemplateImages(1266.0));
    EXPECT_FALSE(marksTemplateImages(1138.0));
    EXPECT_TRUE(marksTemplateImages(currentToolkitVersion()));
}

TEST(BusyFrames, CounterPastTheLastFrameStartsOver) {
    EXPECT_EQ(nextBusyFrameIndex(4), 5);
    EXPECT_EQ(nextBusyFrameIndex(5), 0);
    EXPECT_EQ(nextBusyFrameIndex(9), 0);
    EXPECT_STREQ(busyFrameImageName(5), "StatusBusy6");
    EXPECT_STREQ(busyFrameImageName(6), "StatusBusy1");
}

} // namespace
} // namespace quaylet
