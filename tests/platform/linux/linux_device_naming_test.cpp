// Tests of LinuxDeviceNaming: mount sources to kernel block names (the golden status
// transcripts show the fixture laptops' mounts resolved to their disks).
#include <cerrno>
#include <cstring>
#include <memory>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <gtest/gtest.h>

#include "platform/linux/linux_device_naming.h"
#include "tests/support/test_paths.h"

namespace quaylet {
namespace {

class LinuxDeviceNamingTest : public ::testing::Test {
protected:
    const std::string root = testing::fixturePath("laptop-dock", "sys");
    LinuxDeviceNaming naming{root};
};

/// A block device node made for one test, removed after it.
class TestNode {
public:
    TestNode(unsigned majorNumber, unsigned minorNumber)
        : made_(::mknod(path_.c_str(), S_IFBLK | 0600, makedev(majorNumber, minorNumber)) == 0) {}
    bool made() const { return made_; }
    const std::string& path() const { return path_; }

private:
    const testing::TemporaryDirectory directory_;
    const std::string path_ = directory_.path() + "/node";
    const bool made_;
};

// A node is found by its device number, whatever it is called. Another machine's tree stands
// in for the running system: a node is the tree's device only when that system calls the
// node's number by the tree's name.
TEST_F(LinuxDeviceNamingTest, OnACopiedTreeTakesOnlyDevicesTheSystemAgreesOn) {
    const LinuxDeviceNaming checked(root, MountSourceNodes::OfThisSystem,
                                    testing::fixturePath("debian-desktop", "sys"));
    const struct {
        unsigned majorNumber, minorNumber;
        bool expected;
    } cases[] = {
        {8, 17, true},   // sdb1 in both trees
        {259, 1, false}, // nvme0n1p1 in the tree, nvme0n1 on the system
        {254, 0, false}, // dm-0 in the tree, unknown to the system
        {8, 99, false},  // unknown to the tree
    };
    for (const auto& item : cases) {
        const TestNode node(item.majorNumber, item.minorNumber);
        if (!node.made()) {
            GTEST_SKIP() << "cannot make a device node here: " << std::strerror(errno);
        }
        EXPECT_EQ(checked.blockDeviceNames(node.path()).has_value(), item.expected)
            << item.majorNumber << ":" << item.minorNumber;
        if (item.majorNumber == 8 && item.minorNumber == 17) { // found by number, whatever its name
            EXPECT_EQ(naming.blockDeviceNames(node.path()), (BlockDeviceNames{"sdb1", "sdb"}));
        }
    }
    // A recorded table's sources are read by their names alone.
    const LinuxDeviceNaming recorded(root, MountSourceNodes::Recorded);
    EXPECT_EQ(recorded.blockDeviceNames("/dev/sdb1"), (BlockDeviceNames{"sdb1", "sdb"}));
}

// A naming for one scan keeps what it read: asked again, and about stacks whose members it
// has met, it answers as the naming it was made from.
TEST_F(LinuxDeviceNamingTest, ANamingForOneScanAnswersAsItsOrigin) {
    const std::unique_ptr<DeviceNaming> scanNaming = naming.forOneScan();
    const auto& kept = dynamic_cast<const LinuxDeviceNaming&>(*scanNaming);
    for (const char* source : {"/dev/sdb1", "/dev/mapper/vgdock-archive", "/dev/dm-0",
                               "/dev/loop0p1", "/dev/sda", "/dev/nothing", "tmpfs"}) {
        const MountEntry mount{source, "/mnt", "ext4", 0};
        for (int round = 0; round < 2; ++round) {
            EXPECT_EQ(kept.blockDeviceNames(source), naming.blockDeviceNames(source)) << source;
            EXPECT_EQ(kept.mountedWholeDisks(mount), naming.mountedWholeDisks(mount)) << source;
        }
    }
}

} // namespace
} // namespace quaylet
