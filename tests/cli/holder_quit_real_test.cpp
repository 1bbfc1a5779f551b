// quaylet-cli unplug --quit-holders on the docked laptop's device tree, whose dock SSD is a
// loop device of this system held busy by children of the test.
#include <csignal>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/child_process.h"
#include "tests/support/copied_device_tree.h"
#include "tests/support/real_system.h"

namespace quaylet {
namespace {

const std::string kCli = std::string(testing::kProgramsDir) + "/quaylet-cli";

class HolderQuitRealTest : public testing::RealSystemTest {
protected:
    void SetUp() override {
        RealSystemTest::SetUp();
        disk = loopDisk(at("DockSSD.img"), 16, {at("mnt/DockSSD")});
        ASSERT_TRUE(disk);
        ASSERT_TRUE(tree.place(testing::kDockSsd, disk->loop().path(), disk->imageFile()));
    }
    ~HolderQuitRealTest() override {
        holder.reset(); // nothing may keep the volume busy while it goes
        other.reset();
        disk.reset();
    }

    /// Runs the unplug with standard input from /dev/null: no terminal to ask on.
    testing::CapturedRun unplugQuittingHolders() {
        testing::CapturedRun run;
        auto cli = testing::ChildProcess::start(
            {kCli, "unplug", "--quit-holders", "--yes", "--sysfs", tree.root()}, {}, at("output"),
            "/dev/null", at("errors"));
        run.status = cli ? cli->waitFor(std::chrono::seconds(60)).value_or(-2) : -1;
        run.output = contents(at("output"));
        run.errors = contents(at("errors"));
        return run;
    }

    static std::string contents(const std::string& path) {
        std::ifstream file(path);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }

    testing::CopiedDeviceTree tree{"laptop-dock", at("sys")};
    std::unique_ptr<testing::LoopDisk> disk;
    std::optional<testing::ChildProcess> holder;
    std::optional<testing::ChildProcess> other;
};

TEST_F(HolderQuitRealTest, QuitsItsOwnChildPolitelyAndTheRetryUnmounts) {
    holder = testing::ChildProcess::start({"/bin/sleep", "600"}, at("mnt/DockSSD"));
    ASSERT_TRUE(holder);

    const auto run = unplugQuittingHolders();
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_NE(run.errors.find("Asked “sleep” (process"), std::string::npos) << run.errors;
    // The first outcome names the child; the retry's follows it.
    EXPECT_TRUE(run.output.starts_with("Thunderbolt Dock\nDo not unplug the dock yet.\n"
                                       "“DockSSD” is still in use by sleep."))
        << run.output;
    EXPECT_TRUE(run.output.ends_with("Thunderbolt Dock\nIt is safe to unplug the dock.\n"))
        << run.output;
    EXPECT_EQ(holder->waitFor(std::chrono::seconds(10)), 128 + SIGTERM);
    EXPECT_FALSE(disk->fileSystem().isMounted());
}

TEST_F(HolderQuitRealTest, NeverForcesWithoutAskingAndNeverTouchesAnotherUsersProcess) {
    // SIG_IGN survives exec: this child ignores SIGTERM.
    const auto previous = std::signal(SIGTERM, SIG_IGN);
    holder = testing::ChildProcess::start({"/bin/sleep", "600"}, at("mnt/DockSSD"));
    std::signal(SIGTERM, previous);
    ASSERT_TRUE(holder);
    other = testing::ChildProcess::start({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                                          "--clear-groups", "/bin/sleep", "600"},
                                         at("mnt/DockSSD"));
    ASSERT_TRUE(other);

    const auto run = unplugQuittingHolders();
    EXPECT_EQ(run.status, 1) << run.errors;
    EXPECT_NE(run.errors.find("belongs to another user"), std::string::npos) << run.errors;
    EXPECT_NE(run.errors.find("did not quit within 10 seconds"), std::string::npos) << run.errors;
    EXPECT_NE(run.errors.find("it is not ended by force without your confirmation"),
              std::string::npos)
        << run.errors;
    EXPECT_EQ(run.errors.find("Trying again"), std::string::npos) << run.errors;
    // Both still run: the volume they hold stays mounted.
    EXPECT_TRUE(disk->fileSystem().isMounted());
}

} // namespace
} // namespace quaylet
