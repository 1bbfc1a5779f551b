// Tests of LinuxDeviceNaming: mount sources to kernel block names and registry entries.
#include <cerrno>
#include <cstring>
#include <filesystem>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/linux/linux_device_naming.h"
#include "platform/linux/sysfs_registry.h"
#include "tests/support/test_paths.h"

namespace quaylet {
namespace {

class LinuxDeviceNamingTest : public ::testing::Test {
protected:
    const std::string root = std::string(testing::kFixturesDir) + "/laptop-dock/sys";
    LinuxDeviceNaming naming{root};
};

// Names the tree knows are taken as they stand; others through the node or the mapper name.
TEST_F(LinuxDeviceNamingTest, FindsBlockDevicesByKernelName) {
    const struct {
        const char* devicePath;
        std::optional<BlockDeviceNames> expected;
    } cases[] = {
        {"/dev/sda1", BlockDeviceNames{"sda1", "sda"}},
        {"/dev/sdb", BlockDeviceNames{"sdb", "sdb"}},
        {"/dev/nvme1n1p1", BlockDeviceNames{"nvme1n1p1", "nvme1n1"}},
        {"/dev/loop0p1", BlockDeviceNames{"loop0p1", "loop0"}},
        {"/dev/dm-0", BlockDeviceNames{"dm-0", "dm-0"}},
        {"/dev/mapper/vgdock-archive", BlockDeviceNames{"dm-1", "dm-1"}},
        {"/dev/mapper/luks-3f6c2a8e-5b1d-4e7a-9c0f-2d8b7e6a4c1f", BlockDeviceNames{"dm-0", "dm-0"}},
        {"/dev/mapper/absent", std::nullopt},
        {"/dev/sdz9", std::nullopt},
        {"/dev/disk/by-label/DockSSD", std::nullopt},
        {"tmpfs", std::nullopt},
        {"sda1", std::nullopt},
        {"//server/share", std::nullopt},
        {"server:/export", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(naming.blockDeviceNames(item.devicePath), item.expected) << item.devicePath;
    }
}

// A device node is found by its device number, whatever it is called.
TEST_F(LinuxDeviceNamingTest, FindsADeviceNodeByItsNumber) {
    const std::filesystem::path node =
        std::filesystem::temp_directory_path() / ("quaylet-node-" + std::to_string(::getpid()));
    if (::mknod(node.c_str(), S_IFBLK | 0600, makedev(8, 17)) != 0) {
        GTEST_SKIP() << "cannot make a device node here: " << std::strerror(errno);
    }
    EXPECT_EQ(naming.blockDeviceNames(node.string()), (BlockDeviceNames{"sdb1", "sdb"}));
    std::filesystem::remove(node);
}

TEST_F(LinuxDeviceNamingTest, GivesTheRegistryEntriesOfVolumeAndWholeDisk) {
    SysfsRegistry registry(root);
    const auto bsdName = [&registry](RegistryHandle entry) {
        const auto name = registry.property(entry, "BSD Name");
        registry.release(entry);
        return name ? *name->string() : std::string("(none)");
    };
    EXPECT_EQ(bsdName(naming.volumeService(registry, "/dev/nvme1n1p1")), "nvme1n1p1");
    EXPECT_EQ(bsdName(naming.wholeDiskService(registry, "/dev/nvme1n1p1")), "nvme1n1");
    EXPECT_EQ(bsdName(naming.wholeDiskService(registry, "/dev/mapper/vgdock-archive")), "dm-1");
    EXPECT_EQ(naming.wholeDiskService(registry, "/dev/loop1"), kNoRegistryObject)
        << "an unbound loop device has no entry";
    EXPECT_EQ(naming.volumeService(registry, "proc"), kNoRegistryObject);
    EXPECT_EQ(registry.outstandingHandles(), 0u);
}

} // namespace
} // namespace quaylet
