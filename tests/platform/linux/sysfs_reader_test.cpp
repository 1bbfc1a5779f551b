// Tests of the sysfs reading helpers: link resolution, numbers and the order of names.
#include <gtest/gtest.h>

#include "platform/linux/sysfs_reader.h"

namespace quaylet::sysfs {
namespace {

TEST(SysfsReaderTest, ResolvesKernelLinksByTheirText) {
    const struct {
        const char* directory;
        const char* target;
        const char* expected;
    } cases[] = {
        {"/sys/devices/virtual/block/dm-0/slaves", "../../../../pci0000:00/x/block/sda/sda2",
         "/sys/devices/pci0000:00/x/block/sda/sda2"},
        {"/sys", "../../../..", "/"},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(resolveLink(item.directory, item.target), item.expected) << item.target;
    }
}

TEST(SysfsReaderTest, ParsesNumbersInTheirBase) {
    EXPECT_EQ(parseNumber("0x1b73\n", 16), 0x1b73u);
    EXPECT_EQ(parseNumber(" 5000 ", 10), 5000u);
    EXPECT_EQ(parseNumber("1.5", 10), std::nullopt);
    EXPECT_EQ(parseNumber("0x", 16), std::nullopt);
}

TEST(SysfsReaderTest, OrdersPortsByNumberAndPciAddressesByText) {
    const struct {
        const char* a;
        const char* b;
    } ordered[] = {
        {"usb1-port2", "usb1-port10"}, {"0000:00:0d.0", "0000:00:14.0"}, {"sda", "sda1"}};
    for (const auto& item : ordered) {
        EXPECT_TRUE(naturalLess(item.a, item.b)) << item.a << " < " << item.b;
        EXPECT_FALSE(naturalLess(item.b, item.a)) << item.b << " < " << item.a;
    }
}

TEST(SysfsReaderTest, TellsWhetherAPathLiesBelowAnother) {
    EXPECT_TRUE(isSameOrBelow("/devices/pci0000:00/0000:00:07.0", "/devices/pci0000:00"));
    EXPECT_FALSE(isSameOrBelow("/devices/pci0000:001", "/devices/pci0000:00"));
    EXPECT_FALSE(isSameOrBelow("/devices", "/devices/pci0000:00"));
}

} // namespace
} // namespace quaylet::sysfs
