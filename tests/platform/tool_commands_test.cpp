// The argument vectors of the tools on each platform.
#include <sys/sysmacros.h>

#include <gtest/gtest.h>

#include "platform/tool_commands.h"

namespace quaylet {
namespace {

using Argv = std::vector<std::string>;

TEST(ToolCommandsTest, OnLinuxTheOpenFilesToolAlsoNamesTheProcesses) {
    const ToolCommands onLinux = ToolCommands::forLinux("/opt/quaylet/bin/quaylet-diskutil");
    EXPECT_EQ(onLinux.unmountDisk("/media/alice/Dock SSD", makedev(8, 17)),
              (Argv{"/opt/quaylet/bin/quaylet-diskutil", "unmountDisk", "--device", "8:17",
                    "/media/alice/Dock SSD"}));
    EXPECT_EQ(onLinux.unmountDisk("/media/x", 0),
              (Argv{"/opt/quaylet/bin/quaylet-diskutil", "unmountDisk", "/media/x"}));
    EXPECT_EQ(onLinux.listOpenFiles({3}, {"/media/a", "/media/b"}),
              (Argv{"/usr/bin/lsof", "-Fcn", "-p", "3", "/media/a", "/media/b"}));
    EXPECT_EQ(onLinux.processName(3), std::nullopt);
    ToolCommands tray = onLinux;
    tray.allowInteraction();
    EXPECT_EQ(tray.unmountDisk("/media/x", makedev(7, 0)),
              (Argv{"/opt/quaylet/bin/quaylet-diskutil", "unmountDisk", "--interactive", "--device",
                    "7:0", "/media/x"}));
}

TEST(ToolCommandsTest, PathsReachTheToolsAsOneUnalteredArgument) {
    const std::string odd = "/media/a b\"$(touch x)`y`\\z\n";
    EXPECT_EQ(ToolCommands::forLinux("d").unmountDisk(odd, makedev(7, 0)).back(), odd);
    EXPECT_EQ(ToolCommands::macOS().listOpenFiles({}, {odd}).back(), odd);
}

} // namespace
} // namespace quaylet
