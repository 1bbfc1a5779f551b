// quaylet-diskutil unmountDisk on real loop disks: output lines, exit status, loop release.
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/linux/libmount_mount_table.h"
#include "tests/support/child_process.h"
#include "tests/support/real_system.h"

namespace quaylet {
namespace {

const std::string kDiskutil = std::string(testing::kProgramsDir) + "/quaylet-diskutil";

class QuayletDiskutilTest : public testing::RealSystemTest {
protected:
    ~QuayletDiskutilTest() override {
        child.reset();
        volume.reset();
    }

    testing::CapturedRun unmountDisk(const std::string& path) {
        return testing::runCaptured({kDiskutil, "unmountDisk", path}, scratch.path());
    }

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
    volume = loopDisk(at("odd.img"), 8, {odd});
    ASSERT_TRUE(volume);
    const std::string loop = volume->loop().path();

    const auto run = unmountDisk(odd);
    EXPECT_EQ(run.status, 0);
    const std::string printed =
        scratch.path() + "/a b\"$(touch " + mark + ")`touch " + mark + "`\\134c\\012d";
    EXPECT_EQ(run.output, "Unmounted " + printed + " (" + loop + ")\n" +
                              released(loop, at("odd.img"), run.output));
    EXPECT_FALSE(probe.isMounted(odd, {}));
    EXPECT_TRUE(volume->loop().detachesSoon());
    EXPECT_FALSE(std::filesystem::exists(mark));
}

TEST_F(QuayletDiskutilTest, TakesBothPartitionsDeepestFirstInOneRun) {
    const std::string outer = at("outer");
    volume = loopDisk(at("disk.img"), 32, {outer, outer + "/inner"});
    ASSERT_TRUE(volume);
    const std::string loop = volume->loop().path();

    const auto run = unmountDisk(outer);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "Unmounted " + outer + "/inner (" + loop + "p2)\nUnmounted " + outer +
                              " (" + loop + "p1)\n" + released(loop, at("disk.img"), run.output));
    EXPECT_TRUE(volume->loop().detachesSoon());
}

TEST_F(QuayletDiskutilTest, ABusyVolumeStaysMountedAndItsLoopAttached) {
    volume = loopDisk(at("busy.img"), 8, {at("busy")});
    ASSERT_TRUE(volume);
    child = testing::ChildProcess::start({"/bin/sleep", "600"}, at("busy"));
    ASSERT_TRUE(child);
    const std::string loop = volume->loop().path();

    const auto run = unmountDisk(at("busy"));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "Busy " + at("busy") + " (" + loop + "): Device or resource busy\nKept " +
                              loop + " attached: a file system on it is still mounted\n");
    EXPECT_TRUE(volume->loop().isAttached());
}

TEST_F(QuayletDiskutilTest, ALoopDeviceHeldOpenDetachesWhenItsHolderLetsGo) {
    volume = loopDisk(at("held.img"), 8, {at("held")});
    ASSERT_TRUE(volume);
    const std::string loop = volume->loop().path();
    child = testing::ChildProcess::start({"/bin/sleep", "600"}, {}, {}, loop); // reads the device

    const auto run = unmountDisk(at("held"));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "Unmounted " + at("held") + " (" + loop + ")\n" + loop +
                              " detaches from " + at("held.img") +
                              " when its last user closes it\n");
    EXPECT_TRUE(volume->loop().isAttached());
    child.reset();
    EXPECT_TRUE(volume->loop().detachesSoon());
}

} // namespace
} // namespace quaylet
