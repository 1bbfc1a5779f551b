// The holder search over a scripted open-files tool, process table and storage report: which
// volume each use lies on (device number first, else the innermost mount), one holder per
// process and volume, and the holders that are no process.
#include <algorithm>

#include <sys/sysmacros.h>

#include <gtest/gtest.h>

#include "eject/holder_finder.h"
#include "eject/open_file_uses_parser.h"
#include "platform/memory/memory_file_manager.h"
#include "tests/support/recording_process_runner.h"

namespace quaylet {
namespace {

const std::uint64_t kDock = makedev(8, 17);  // 0x811
const std::uint64_t kInner = makedev(8, 33); // 0x821

constexpr const char* kToolOutput = "p100\ncfirefox\nu1000\nfcwd\nD0x811\nn/media/dock\n"
                                    "fmem\nD0x811\nn/media/dock/lib.so\n"
                                    "p200\nccat\nu0\nf3\nD0x821\nn/media/dock/inner/x\n"
                                    "f4\nn/media/dock/inner/y\n";

std::string described(const Holder& holder) {
    return std::to_string(static_cast<int>(holder.kind)) + "|" + holder.name + "|" + holder.path +
           "|" + std::to_string(holder.pid) + "|" + holder.user + "|" + holder.detail;
}

TEST(HolderFinderTest, ListsEachHolderOnceOnTheVolumeItsFileLiesOn) {
    Platform platform;
    platform.mountTable = std::make_unique<MountTableCopy>(
        std::vector<MountEntry>{{"/dev/sdb1", "/media/dock", "ext4", kDock},
                                {"/dev/sdc1", "/media/dock/inner", "ext4", kInner},
                                {"/dev/loop4p1", "/media/img", "ext4", makedev(259, 0)}});
    platform.processRunner = std::make_unique<testing::RecordingProcessRunner>(
        [](const std::vector<std::string>&) { return std::optional<std::string>(kToolOutput); });
    platform.applicationLookup = std::make_unique<MemoryApplicationLookup>(
        std::map<std::int32_t, std::string>{{100, "Firefox"}});
    platform.processUses = std::make_unique<MemoryProcessUses>(
        std::vector<ProcessUse>{{100, "firefox", 1000, "/media/dock/lib.so", kDock},
                                {400, "bash", 1000, "/media/dock", kDock}},
        std::map<std::uint32_t, std::string>{{1000, "ann"}});
    StorageUsageReport report;
    // An image reached through a bind mount lies on the dock by its device, not by its path.
    report.devices = {{"loop4", {"loop4p1"}, "/srv/bind/disk.img", kDock},
                      {"loop5", {}, "/home/ann/other.img", makedev(254, 0)}};
    report.mounts = {{"/dev/loop4p1", "/media/img", {"loop4p1"}, makedev(259, 0)}};
    report.swaps = {{"/media/dock/swapfile", "", 0}, {"/dev/sdb2", "sdb2", 0}};
    report.nfsExports = {"/media/dock/share", "/srv"};
    platform.storageUsage = std::make_unique<MemoryStorageUsage>(report);
    platform.toolCommands = ToolCommands::forLinux("quaylet-diskutil");
    // A tool that may not see every process: the process table adds what it missed.
    platform.seesEveryProcess = false;

    std::vector<VolumeHolders> volumes{{"Dock", "/media/dock", {}}};
    findHolders(platform, volumes);
    std::vector<std::string> found;
    for (const Holder& holder : volumes.front().holders) {
        found.push_back(described(holder));
    }
    EXPECT_EQ(found, (std::vector<std::string>{
                         "0|Firefox|/media/dock|100|ann|",
                         "0|bash|/media/dock|400|ann|",
                         "1|disk.img|/srv/bind/disk.img|0||/dev/loop4 at /media/img",
                         "2|/media/dock/swapfile|/media/dock/swapfile|0||",
                         "3|/media/dock/inner|/media/dock/inner|0||",
                         "4|/media/dock/share|/media/dock/share|0||",
                     }));
}

// Without its child processes the tool cannot be stopped by a file system that never answers,
// so it works alone only when every mounted file system answers from this machine.
TEST(HolderFinderTest, TheToolWorksAloneOnlyWhenNoFileSystemMayHang) {
    const std::vector<MountEntry> local{{"/dev/sdb1", "/media/dock", "ext4", kDock},
                                        {"proc", "/proc", "proc", 0},
                                        {"overlay", "/var/lib/c", "overlay", 0}};
    const MountEntry mayHang[] = {{"srv:/home", "/home", "nfs4", 0},
                                  {"//srv/share", "/mnt/s", "cifs", 0},
                                  {"ann@srv:", "/mnt/ssh", "fuse.sshfs", 0},
                                  {"/dev/sdc1", "/mnt/ntfs", "fuseblk", 0},
                                  {"systemd-1", "/mnt/auto", "autofs", 0}};
    const auto worksAlone = [](std::vector<MountEntry> mounts) {
        Platform platform;
        platform.mountTable = std::make_unique<MountTableCopy>(std::move(mounts));
        auto runner = std::make_unique<testing::RecordingProcessRunner>(
            [](const std::vector<std::string>&) { return std::optional<std::string>(""); });
        const testing::RecordingProcessRunner& runs = *runner;
        platform.processRunner = std::move(runner);
        platform.toolCommands = ToolCommands::forLinux("quaylet-diskutil");
        std::vector<VolumeHolders> volumes{{"Dock", "/media/dock", {}}};
        findHolders(platform, volumes);
        const std::vector<std::string> argv = runs.runs().at(0);
        return std::find(argv.begin(), argv.end(), "-O") != argv.end();
    };
    EXPECT_TRUE(worksAlone(local));
    EXPECT_FALSE(worksAlone({})) << "an unread table";
    for (const MountEntry& entry : mayHang) {
        std::vector<MountEntry> mounts = local;
        mounts.push_back(entry);
        EXPECT_FALSE(worksAlone(mounts)) << entry.fileSystemType;
    }
}

TEST(OpenFileUsesParserTest, EachFileTakesOnlyItsOwnDeviceNumber) {
    OpenFileUsesParser parser;
    for (const char* line : {"n/before/any/process\n", "p7\n", "u1000\n", "f3\n", "D0x811\n",
                             "n/a\n", "f4\n", "n/b\n", "p8\n", "f5\n", "n/c"}) {
        parser.parseLine(line);
    }
    ASSERT_EQ(parser.uses().size(), 3u);
    EXPECT_EQ(parser.uses()[0], (ProcessUse{7, "", 1000, "/a", kDock}));
    EXPECT_EQ(parser.uses()[1].deviceNumber, 0u);
    EXPECT_EQ(parser.uses()[2], (ProcessUse{8, "", std::nullopt, "/c", 0}));
}

} // namespace
} // namespace quaylet
