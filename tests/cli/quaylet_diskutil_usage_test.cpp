// quaylet-diskutil's command line: bad usage exits 2 before anything is touched.
#include <gtest/gtest.h>

#include "tests/support/child_process.h"
#include "tests/support/test_paths.h"

namespace quaylet {
namespace {

const std::string kDiskutil = std::string(testing::kProgramsDir) + "/quaylet-diskutil";

TEST(QuayletDiskutilUsageTest, BadUsageExitsTwoAndWritesNothing) {
    testing::TemporaryDirectory scratch;
    for (const std::vector<std::string>& argv :
         {std::vector<std::string>{kDiskutil},
          {kDiskutil, "unmount", "/media/x"},
          {kDiskutil, "unmountDisk", "/media/x", "/media/y"},
          {kDiskutil, "unmountDisk", "--device", "8:17", "--interactive", "/media/x"},
          {kDiskutil, "unmountDisk", "--device", "8:17x", "/media/x"}}) {
        const auto run = testing::runCaptured(argv, scratch.path());
        EXPECT_EQ(run.status, 2) << argv.size();
        EXPECT_TRUE(run.output.empty());
    }
}

} // namespace
} // namespace quaylet
