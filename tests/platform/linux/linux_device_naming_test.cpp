// Tests of LinuxDeviceNaming: mount sources to kernel block names and registry entries.
#include <cerrno>
#include <cstring>

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
    const std::string root = testing::fixturePath("laptop-dock", "sys");
    LinuxDeviceNaming naming{root};
};

// Names the tree knows are taken as they stand; others through the node or the mapper name.
TEST_F(LinuxDeviceNamingTest, FindsBlockDevicesByKernelName) {
    const struct {
        const char* devicePath;
        std::optional<BlockDeviceNames> expected;
    } cases[] = {
        {"/dev/sda1", BlockDeviceNames{"sda1", "sda"}},
        {"/dev/nvme1n1p1", BlockDeviceNames{"nvme1n1p1", "nvme1n1"}},
        {"/dev/dm-0", BlockDeviceNames{"dm-0", "dm-0"}},
        {"/dev/mapper/vgdock-archive", BlockDeviceNames{"dm-1", "dm-1"}},
        {"/dev/mapper/luks-3f6c2a8e-5b1d-4e7a-9c0f-2d8b7e6a4c1f", BlockDeviceNames{"dm-0", "dm-0"}},
        {"/dev/sdz9", std::nullopt},
        {"sda1", std::nullopt},
        {"server:/export", std::nullopt},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(naming.blockDeviceNames(item.devicePath), item.expected) << item.devicePath;
    }
}

/// A block device node made for one test in its temporary directory.
class TestNode {
public:
    TestNode(unsigned majorNumber, unsigned minorNumber) : path_(scratch_.path() + "/node") {
        made_ = ::mknod(path_.c_str(), S_IFBLK | 0600, makedev(majorNumber, minorNumber)) == 0;
    }
    bool made() const { return made_; }
    const std::string& path() const { return path_; }

private:
    testing::TemporaryDirectory scratch_;
    std::string path_;
    bool made_ = false;
};

// Another machine's tree stands in for the running system: a node is the tree's device only
// when that system calls the node's number by the tree's name.
TEST_F(LinuxDeviceNamingTest, OnACopiedTreeTakesOnlyDevicesTheSystemAgreesOn) {
    const LinuxDeviceNaming checked(root, MountSourceNodes::OfThisSystem,
                                    testing::fixturePath("debian-desktop", "sys"));
    const struct {
        unsigned majorNumber, minorNumber;
        bool expected;
    } cases[] = {
        {8, 17, true},   // sdb1 in both trees
        {259, 1, false}, // nvme0n1p1 in the tree, nvme0n1 on the system
        {8, 99, false},  // unknown to the tree
    };
    for (const auto& item : cases) {
        const TestNode node(item.majorNumber, item.minorNumber);
        if (!node.made()) {
            GTEST_SKIP() << "cannot make a device node here: " << std::strerror(errno);
        }
        EXPECT_EQ(checked.blockDeviceNames(node.path()).has_value(), item.expected)
            << item.majorNumber << ":" << item.minorNumber;
    }
    // A recorded table's sources are read by their names alone.
    const LinuxDeviceNaming recorded(root, MountSourceNodes::Recorded);
    EXPECT_EQ(recorded.blockDeviceNames("/dev/sdb1"), (BlockDeviceNames{"sdb1", "sdb"}));
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
    EXPECT_EQ(registry.outstandingHandles(), 0u);
}

} // namespace
} // namespace quaylet
