// The simulated tools: whole-disk unmounting, open-file listing and process names.
#include <string>
#include <vector>

#include <poll.h>

#include <gtest/gtest.h>

#include "platform/memory/memory_process_runner.h"
#include "platform/tool_commands.h"

namespace quaylet {
namespace {

class MemoryProcessRunnerTest : public ::testing::Test {
protected:
    std::vector<std::string> run(const std::vector<std::string>& argv) {
        std::vector<std::string> lines;
        EXPECT_FALSE(runner.run(argv, [&](std::string_view line) { lines.emplace_back(line); }));
        return lines;
    }
    std::vector<std::string> mountPoints() const {
        std::vector<std::string> points;
        for (const auto& entry : table.entries()) {
            points.push_back(entry.mountPoint);
        }
        return points;
    }

    MemoryMountTable table{{{"/dev/disk1s1", "/", "apfs"},
                            {"/dev/disk4s1", "/Volumes/Dock SSD", "apfs"},
                            {"/dev/disk4s2", "/Volumes/Dock Data", "apfs"},
                            {"/dev/disk6s1", "/Volumes/Stick", "msdos"},
                            {"//server/share", "/Volumes/share", "smbfs"}}};
    MemoryProcessRunner runner{table,
                               {{812, "Preview", "Preview", {"/Volumes/Stick/a.pdf"}},
                                {90, "mds", std::nullopt, {"/Volumes/Stick/.idx", "/x"}}}};
    const ToolCommands mac = ToolCommands::macOS();
};

TEST_F(MemoryProcessRunnerTest, UnmountDiskTakesEveryVolumeOfTheWholeDisk) {
    pollfd changed{table.changeDescriptor(), POLLIN, 0};
    const auto lines = run(mac.unmountDisk("/Volumes/Dock Data", 0));
    EXPECT_EQ(lines, std::vector<std::string>{"Unmount of all volumes on disk4 was successful\n"});
    EXPECT_EQ(mountPoints(), (std::vector<std::string>{"/", "/Volumes/Stick", "/Volumes/share"}));
    EXPECT_EQ(poll(&changed, 1, 0), 1);
    EXPECT_TRUE(table.acknowledgeChanges());
    EXPECT_FALSE(table.acknowledgeChanges());
}

TEST_F(MemoryProcessRunnerTest, BusyProcessKeepsTheWholeDiskMounted) {
    const auto lines = run(
        ToolCommands::forLinux("/usr/libexec/quaylet-diskutil").unmountDisk("/Volumes/Stick", 0));
    ASSERT_EQ(lines.size(), 2U);
    EXPECT_EQ(lines[1], "Unmount was refused due to a dissenter PID 812\n");
    EXPECT_EQ(mountPoints().size(), 5U);
}

TEST_F(MemoryProcessRunnerTest, ListsOpenFilesOnThePathsInFieldOutput) {
    EXPECT_EQ(run(mac.listOpenFiles({}, {"/Volumes/Stick"})),
              (std::vector<std::string>{"p812\n", "f3\n", "n/Volumes/Stick/a.pdf\n", "p90\n",
                                        "f3\n", "n/Volumes/Stick/.idx\n"}));
    EXPECT_EQ(run(mac.listOpenFiles({90}, {"/Volumes/Stick"})).size(), 3U);
    EXPECT_TRUE(run(mac.listOpenFiles({}, {"/Volumes/Stic"})).empty());
}

TEST_F(MemoryProcessRunnerTest, NamesProcessesAfterAHeaderAndRefusesOtherPrograms) {
    EXPECT_EQ(run(mac.processName(90)), (std::vector<std::string>{"COMMAND\n", "mds\n"}));
    EXPECT_EQ(run(mac.processName(5)), std::vector<std::string>{"COMMAND\n"});
    EXPECT_EQ(runner.run({"/bin/sh", "-c", "true"}, [](std::string_view) {}),
              std::make_error_code(std::errc::no_such_file_or_directory));
    EXPECT_EQ(runner.commands().size(), 3U);
}

} // namespace
} // namespace quaylet
