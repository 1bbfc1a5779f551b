// Tests of SysfsBlockDevices over the docked laptop's tree: numbers and names to block devices.
#include <sys/sysmacros.h>

#include <gtest/gtest.h>

#include "platform/linux/sysfs_block_devices.h"
#include "tests/support/test_paths.h"

namespace quaylet {
namespace {

class SysfsBlockDevicesTest : public ::testing::Test {
protected:
    const SysfsBlockDevices devices{testing::fixturePath("laptop-dock", "sys")};
};

TEST_F(SysfsBlockDevicesTest, FindsDevicesAndTheirWholeDisksByNumberAndByName) {
    const struct {
        unsigned majorNumber, minorNumber;
        const char* name;
        std::optional<BlockDeviceNames> expected;
    } cases[] = {
        {8, 1, "sda1", BlockDeviceNames{"sda1", "sda"}},
        {8, 16, "sdb", BlockDeviceNames{"sdb", "sdb"}},
        {259, 6, "loop0p1", BlockDeviceNames{"loop0p1", "loop0"}},
        {254, 1, "dm-1", BlockDeviceNames{"dm-1", "dm-1"}},
        {8, 99, "sdz", std::nullopt},
    };
    for (const auto& item : cases) {
        const auto number = makedev(item.majorNumber, item.minorNumber);
        EXPECT_EQ(devices.namesOfNumber(number), item.expected) << item.name;
        EXPECT_EQ(devices.namesOfKernelName(item.name), item.expected) << item.name;
        EXPECT_EQ(devices.deviceNumber(item.name),
                  item.expected ? std::optional<std::uint64_t>(number) : std::nullopt)
            << item.name;
    }
    EXPECT_EQ(devices.wholeDiskName(makedev(8, 2)), "sda");
    EXPECT_EQ(devices.deviceName(makedev(8, 2)), "sda2");
    EXPECT_EQ(devices.namesOfNumber(0), std::nullopt);
    EXPECT_EQ(devices.namesOfKernelName("../block"), std::nullopt);
    EXPECT_EQ(devices.deviceMapperDevice("vgdock-archive"), "dm-1");
    EXPECT_EQ(devices.deviceMapperDevice("absent"), std::nullopt);
}

} // namespace
} // namespace quaylet
