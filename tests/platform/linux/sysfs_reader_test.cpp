// Tests of the sysfs reading helpers: numbers and paths below others. Link resolution and the
// order of names show in the fixture trees' golden registry dumps.
#include <gtest/gtest.h>

#include "platform/linux/sysfs_reader.h"

namespace quaylet::sysfs {
namespace {

TEST(SysfsReaderTest, ParsesNumbersInTheirBase) {
    EXPECT_EQ(parseNumber("0x1b73\n", 16), 0x1b73u);
    EXPECT_EQ(parseNumber(" 5000 ", 10), 5000u);
    EXPECT_EQ(parseNumber("1.5", 10), std::nullopt);
    EXPECT_EQ(parseNumber("0x", 16), std::nullopt);
}

TEST(SysfsReaderTest, TellsWhetherAPathLiesBelowAnother) {
    EXPECT_TRUE(isSameOrBelow("/devices/pci0000:00/0000:00:07.0", "/devices/pci0000:00"));
    EXPECT_FALSE(isSameOrBelow("/devices/pci0000:001", "/devices/pci0000:00"));
    EXPECT_FALSE(isSameOrBelow("/devices", "/devices/pci0000:00"));
}

} // namespace
} // namespace quaylet::sysfs
