// quaylet-diskutil unmountDisk on real loop disks: output lines, exit status, loop release.
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/linux/libmount_mount_table.h"
#include "tests/support/child_process.h"
#include "tests/support/loop_disk.h"
#include "tests/support/real_system.h"
#include "tests/support/test_paths.h"

namespace quaylet {
namespace {

const std::string kDiskutil = std::string(testing::kProgramsDir) + "/quaylet-diskutil";

class QuayletDiskutilTest : public ::testing::Test {
protected:
    void SetUp() override {
        QUAYLET_REQUIRE_REAL_SYSTEM();
        ASSERT_FALSE(scratch.path().empty());
    }
    ~QuayletDiskutilTest() override {
        child.reset();
        volume.reset();
        disk.reset();
    }

    testing::CapturedRun unmountDisk(const std::string& path, const std::string& device = {}) {
        if (device.empty()) {
            return testing::runCaptured({kDiskutil, "unmountDisk", path}, scratch.path());
        }
        return testing::runCaptured({kDiskutil, "unmountDisk", "--device", device, path},
                                    scratch.path());
    }

    testing::TemporaryDirectory scratch;
    std::unique_ptr<testing::LoopDisk> disk;
    std::unique_ptr<testing::LoopDisk> volume;
    std::optional<testing::ChildProcess> child;
    LibmountMountPointProbe probe;
};

/// The tool's last line for a loop device let go of: detached at once, or, while someone else
/// (a udev daemon probing it, say) still has it open, detached when they close it.
std::string released(const std::string& loop, const std::string& image, const std::string& said) {
    const std::string deferred =
        loop + " detaches from " + image + " when its last user closes it\n";
    return said.ends_with(deferred) ? deferred : "Detached " + loop + " from " + image + "\n";
}

TEST_F(QuayletDiskutilTest, UnmountsAPathOfShellCharactersAsItIsAndDetachesTheImage) {
    const std::string mark = scratch.path() + "/ran";
    const std::string odd =
        scratch.path() + "/a b\"$(touch " + mark + ")`touch " + mark + "`\\c\nd";
    std::string error;
    volume = testing::LoopDisk::create(scratch.path() + "/odd.img", 8, {odd}, error);
    ASSERT_TRUE(volume) << error;
    const std::string loop = volume->loop().path();

    const auto run = unmountDisk(odd);
    EXPECT_EQ(run.status, 0);
    const std::string printed =
        scratch.path() + "/a b\"$(touch " + mark + ")`touch " + mark + "`\\134c\\012d";
    EXPECT_EQ(run.output, "Unmounted " + printed + " (" + loop + ")\n" +
                              released(loop, scratch.path() + "/odd.img", run.output));
    EXPECT_FALSE(probe.isMounted(odd, {}));
    EXPECT_TRUE(volume->loop().detachesSoon());
    EXPECT_FALSE(std::filesystem::exists(mark));
}

TEST_F(QuayletDiskutilTest, TakesBothPartitionsDeepestFirstInOneRun) {
    std::string error;
    const std::string outer = scratch.path() + "/outer";
    disk = testing::LoopDisk::create(scratch.path() + "/disk.img", 32, {outer, outer + "/inner"},
                                     error);
    ASSERT_TRUE(disk) << error;
    const std::string loop = disk->loop().path();

    const auto run = unmountDisk(outer);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "Unmounted " + outer + "/inner (" + loop + "p2)\nUnmounted " + outer +
                              " (" + loop + "p1)\n" +
                              released(loop, scratch.path() + "/disk.img", run.output));
    EXPECT_TRUE(disk->loop().detachesSoon());
}

TEST_F(QuayletDiskutilTest, ABusyVolumeStaysMountedAndItsLoopAttached) {
    std::string error;
    volume = testing::LoopDisk::create(scratch.path() + "/busy.img", 8, {scratch.path() + "/busy"},
                                       error);
    ASSERT_TRUE(volume) << error;
    child = testing::ChildProcess::start({"/bin/sleep", "600"}, scratch.path() + "/busy");
    ASSERT_TRUE(child);
    const std::string loop = volume->loop().path();

    const auto run = unmountDisk(scratch.path() + "/busy");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "Busy " + scratch.path() + "/busy (" + loop +
                              "): Device or resource busy\nKept " + loop +
                              " attached: a file system on it is still mounted\n");
    EXPECT_TRUE(volume->loop().isAttached());
}

TEST_F(QuayletDiskutilTest, ALoopDeviceHeldOpenDetachesWhenItsHolderLetsGo) {
    std::string error;
    volume = testing::LoopDisk::create(scratch.path() + "/held.img", 8, {scratch.path() + "/held"},
                                       error);
    ASSERT_TRUE(volume) << error;
    const std::string loop = volume->loop().path();
    child = testing::ChildProcess::start({"/bin/sleep", "600"}, {}, {}, loop); // reads the device

    const auto run = unmountDisk(scratch.path() + "/held");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "Unmounted " + scratch.path() + "/held (" + loop + ")\n" + loop +
                              " detaches from " + scratch.path() +
                              "/held.img when its last user closes it\n");
    EXPECT_TRUE(volume->loop().isAttached());
    child.reset();
    EXPECT_TRUE(volume->loop().detachesSoon());
}

TEST_F(QuayletDiskutilTest, APathWithNothingMountedExitsOneAndChangesNothing) {
    const auto run = unmountDisk(scratch.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.output.empty());
}

} // namespace
} // namespace quaylet
