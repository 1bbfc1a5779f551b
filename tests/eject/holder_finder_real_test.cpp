// The holder search on real loop devices: a dock volume held by a disk image attached from it
// with nothing mounted, a swap file, another disk mounted inside it and a process that only
// maps a file of it; each is named in the outcome of the volume that stayed mounted.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "eject/unplug_flow.h"
#include "platform/linux/linux_platform.h"
#include "platform/linux/proc_process_uses.h"
#include "tests/support/child_process.h"
#include "tests/support/real_system.h"

namespace quaylet {
namespace {

namespace fs = std::filesystem;
using Kind = Holder::Kind;

/// A forked child that maps `path`, closes the descriptor, says so through a pipe and waits
/// to be killed; killed and reaped when the owner goes.
class MappingChild {
public:
    explicit MappingChild(const std::string& path) {
        int ready[2];
        if (::pipe(ready) != 0) {
            return;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            const int fd = ::open(path.c_str(), O_RDONLY);
            void* map = fd < 0 ? MAP_FAILED : ::mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0);
            ::close(fd);
            const char ok = map == MAP_FAILED ? '0' : '1';
            static_cast<void>(::write(ready[1], &ok, 1));
            for (;;) {
                ::pause();
            }
        }
        ::close(ready[1]);
        char ok = '0';
        mapped_ = pid_ > 0 && ::read(ready[0], &ok, 1) == 1 && ok == '1';
        ::close(ready[0]);
    }
    ~MappingChild() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    MappingChild(const MappingChild&) = delete;
    MappingChild& operator=(const MappingChild&) = delete;

    pid_t pid() const { return pid_; }
    bool mapped() const { return mapped_; }

private:
    pid_t pid_ = -1;
    bool mapped_ = false;
};

class HolderFinderRealTest : public testing::RealSystemTest {
protected:
    bool run(const std::vector<std::string>& argv) {
        const testing::CapturedRun result = testing::runCaptured(argv, scratch.path());
        EXPECT_EQ(result.status, 0) << argv[0] << ": " << result.errors;
        return result.status == 0;
    }
};

const Holder* holderAt(const VolumeHolders& volume, Kind kind, const std::string& path) {
    const auto found = std::ranges::find_if(volume.holders, [&](const Holder& holder) {
        return holder.kind == kind && holder.path == path;
    });
    return found == volume.holders.end() ? nullptr : &*found;
}

TEST_F(HolderFinderRealTest, NamesEveryHolderOfAVolumeThatStayedMounted) {
    const auto volume = loopDisk(at("dock.img"), 64, {at("mnt/Dock")});
    ASSERT_TRUE(volume);
    const std::string dock = volume->fileSystem().mountPoint();
    const std::string image = dock + "/inner.img";
    const auto attached = loopDisk(image, 8, {});
    const auto inside = loopDisk(at("other.img"), 8, {dock + "/inside"});
    ASSERT_TRUE(attached && inside);

    const std::string swapFile = dock + "/swapfile";
    std::ofstream(swapFile, std::ios::binary) << std::string(8 << 20, '\0'); // swapon: no holes
    fs::permissions(swapFile, fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_TRUE(run({"/sbin/mkswap", swapFile}));
    const std::shared_ptr<void> swapOff(nullptr, [&](void*) {
        testing::runCaptured({"/sbin/swapoff", swapFile}, scratch.path());
    });
    ASSERT_TRUE(run({"/sbin/swapon", swapFile}));

    const std::string mapped = dock + "/mapped.bin";
    std::ofstream(mapped, std::ios::binary) << std::string(4096, 'm');
    const MappingChild child(mapped);
    ASSERT_TRUE(child.mapped());

    LinuxPlatformError error;
    std::optional<Platform> platform = makeLinuxPlatform(LinuxPlatformOptions{}, error);
    ASSERT_TRUE(platform) << error.code.message();
    UnplugOutcome outcome;
    outcome.volumeName = "Dock";
    outcome.textKey = "BUSY_VOLUME";
    outcome.textValues = {"Dock"};
    outcome.failures = {UnmountFailure{volume->loop().path(), dock, "Dock", "", "", 0}};
    nameBusyProcess(*platform, outcome);

    ASSERT_EQ(outcome.holders.size(), 1u);
    const VolumeHolders& held = outcome.holders.front();
    const Holder* imageHolder = holderAt(held, Kind::AttachedImage, image);
    ASSERT_TRUE(imageHolder);
    EXPECT_EQ(imageHolder->name, "inner.img");
    EXPECT_EQ(imageHolder->detail, attached->loop().path()); // mounted nowhere
    EXPECT_TRUE(holderAt(held, Kind::SwapFile, swapFile));
    EXPECT_TRUE(holderAt(held, Kind::MountInside, dock + "/inside"));
    const Holder* mapper = holderAt(held, Kind::Process, mapped);
    ASSERT_TRUE(mapper);
    EXPECT_EQ(mapper->pid, child.pid());
    EXPECT_EQ(mapper->uid, 0u);
    EXPECT_EQ(mapper->user, "root");
    EXPECT_EQ(outcome.textKey, "BUSY_VOLUME_WITH");

    // The process table alone finds the map too, where the open-files tool is missing.
    struct stat status {};
    ASSERT_EQ(::stat(dock.c_str(), &status), 0);
    const auto uses = ProcProcessUses().usesOn({status.st_dev});
    EXPECT_TRUE(std::ranges::any_of(
        uses, [&](const ProcessUse& use) { return use.pid == child.pid() && use.path == mapped; }));
}

} // namespace
} // namespace quaylet
