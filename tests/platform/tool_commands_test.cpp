// The exact argument vectors of the tools on each platform.
#include <sys/sysmacros.h>

#include <gtest/gtest.h>

#include "platform/tool_commands.h"

namespace quaylet {
namespace {

using Argv = std::vector<std::string>;

TEST(ToolCommandsTest, MacOSUsesTheSystemsTools) {
    const ToolCommands mac = ToolCommands::macOS();
    EXPECT_EQ(mac.unmountDisk("/Volumes/Dock SSD", makedev(1, 4)),
              (Argv{"/usr/sbin/diskutil", "unmountDisk", "/Volumes/Dock SSD"}));
    EXPECT_EQ(mac.listOpenFiles({}, {"/Volumes/A", "/Volumes/B"}),
              (Argv{"/usr/sbin/lsof", "-Fn", "/Volumes/A", "/Volumes/B"}));
    EXPECT_EQ(mac.listOpenFiles({12, 4294967295u, 7}, {}),
              (Argv{"/usr/sbin/lsof", "-Fn", "-p", "12,4294967295,7", "/"}));
    EXPECT_EQ(mac.processName(501), (Argv{"/bin/ps", "-p", "501", "-c", "-o", "command"}));
}

TEST(ToolCommandsTest, LinuxUsesQuayletDiskutilLsofAndProcpsPs) {
    const ToolCommands onLinux = ToolCommands::forLinux("/opt/quaylet/bin/quaylet-diskutil");
    EXPECT_EQ(onLinux.unmountDisk("/media/alice/Dock SSD", makedev(8, 17)),
              (Argv{"/opt/quaylet/bin/quaylet-diskutil", "unmountDisk", "--device", "8:17",
                    "/media/alice/Dock SSD"}));
    EXPECT_EQ(onLinux.unmountDisk("/media/x", 0),
              (Argv{"/opt/quaylet/bin/quaylet-diskutil", "unmountDisk", "/media/x"}));
    EXPECT_EQ(onLinux.listOpenFiles({3}, {"/media/a"}),
              (Argv{"/usr/bin/lsof", "-Fn", "-p", "3", "/media/a"}));
    EXPECT_EQ(onLinux.listOpenFiles({}, {}), (Argv{"/usr/bin/lsof", "-Fn", "/"}));
    EXPECT_EQ(onLinux.processName(-1), (Argv{"/bin/ps", "-p", "4294967295", "-o", "comm"}));
}

TEST(ToolCommandsTest, PathsReachTheToolsAsOneUnalteredArgument) {
    const std::string odd = "/media/a b\"$(touch x)`y`\\z\n";
    EXPECT_EQ(ToolCommands::forLinux("d").unmountDisk(odd, makedev(7, 0)).back(), odd);
    EXPECT_EQ(ToolCommands::macOS().listOpenFiles({}, {odd}).back(), odd);
}

} // namespace
} // namespace quaylet
