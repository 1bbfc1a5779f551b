// Tests of ProcProcessUses on a process folder laid out as the kernel lays out /proc.
#include <filesystem>
#include <fstream>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <gtest/gtest.h>

#include "platform/linux/proc_process_uses.h"
#include "tests/support/test_paths.h"

namespace quaylet {
namespace {

// One use per mapped file on a wanted device, whatever the blanks around the fields, with the
// path as the kernel writes it (blanks and a " (deleted)" mark kept); anonymous maps, other
// devices and broken lines are no use; a process that uses nothing is not named at all.
TEST(ProcProcessUsesTest, TakesEachMappedFileOnAWantedDeviceOnce) {
    const testing::TemporaryDirectory proc;
    const std::filesystem::path process = std::filesystem::path(proc.path()) / "4711";
    std::filesystem::create_directories(process / "fd");
    std::ofstream(process / "comm") << "backup tool\n";
    std::ofstream(process / "maps")
        << "7f00-7f10 r--p 00000000 fd:01 1234                       /media/Dock SSD/lib.so\n"
           "7f10-7f20 r-xp 00001000 fd:01 1234                       /media/Dock SSD/lib.so\n"
           "7f20-7f30 rw-p 00000000 00:00 0                          [heap]\n"
           "7f30-7f40 r--p 00000000 08:02 99                         /usr/lib/libc.so.6\n"
           "7f40-7f50 r--p 00000000 fd:01 77\t/media/Dock SSD/old.db (deleted)\n"
           "7f50-7f60 r--p 00000000 fd:01\n"
           "7f60-7f70 r--p 00000000 fd:01 5\n";
    std::filesystem::create_directories(proc.path() + "/4712/fd");
    std::ofstream(proc.path() + "/4712/maps") << "7f00-7f10 r--p 00000000 08:02 9 /usr/bin/x\n";

    struct stat status {};
    ASSERT_EQ(::stat(process.c_str(), &status), 0);
    const std::uint64_t dock = makedev(0xfd, 0x01);
    const std::vector<ProcessUse> expected{
        {4711, "backup", status.st_uid, "/media/Dock SSD/lib.so", dock},
        {4711, "backup", status.st_uid, "/media/Dock SSD/old.db (deleted)", dock}};
    EXPECT_EQ(ProcProcessUses(proc.path()).usesOn({dock}), expected);
}

} // namespace
} // namespace quaylet
