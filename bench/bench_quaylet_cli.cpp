// Benchmarks of quaylet-cli status on the heavy docked laptop's device tree: the scan alone,
// the whole command in this process, and the program started as a terminal would start it.
#include <sstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "cli/quaylet_cli.h"
#include "platform/linux/posix_process_runner.h"
#include "platform/linux/sysfs_registry.h"
#include "platform/platform_selection.h"
#include "tests/support/test_paths.h"
#include "volumes/scan_volumes.h"

namespace quaylet {
namespace {

const std::string kMachine = std::string(testing::kFixturesDir) + "/laptop-dock-heavy";
const std::vector<std::string> kStatus = {"--sysfs", kMachine + "/sys", "--mountinfo",
                                          kMachine + "/mountinfo", "status"};

// The scan as one status command runs it: the device tree read afresh, then every mount of
// the recorded table looked up, tested and named.
void BM_StatusScan(benchmark::State& state) {
    PlatformSelectionError error;
    std::optional<Platform> platform =
        selectPlatform(PlatformChoice{{}, kMachine + "/sys", kMachine + "/mountinfo"}, error);
    if (!platform) {
        state.SkipWithError("the fixture machine cannot be read");
        return;
    }
    auto& registry = dynamic_cast<SysfsRegistry&>(*platform->registry);
    const ScanSources sources{registry, *platform->mountTable, *platform->fileManager,
                              *platform->deviceNaming};
    for (auto _ : state) {
        registry.refresh();
        UnplugPlan plan;
        bool bootVolume = false;
        benchmark::DoNotOptimize(scanVolumes(sources, plan, false, bootVolume));
    }
}
BENCHMARK(BM_StatusScan)->Unit(benchmark::kMillisecond)->UseRealTime();

// The whole command within this process: reading the command line, building the platform,
// counting the docks, scanning and writing the report.
void BM_StatusCommand(benchmark::State& state) {
    for (auto _ : state) {
        std::ostringstream out, errors;
        if (runQuayletCli(kStatus, out, errors) != 0) {
            state.SkipWithError(errors.str().c_str());
            return;
        }
        benchmark::DoNotOptimize(out.str().size());
    }
}
BENCHMARK(BM_StatusCommand)->Unit(benchmark::kMillisecond)->UseRealTime();

// The program itself, started and waited for: what a script calling it pays.
void BM_StatusProgram(benchmark::State& state) {
    std::vector<std::string> argv{std::string(testing::kProgramsDir) + "/quaylet-cli"};
    argv.insert(argv.end(), kStatus.begin(), kStatus.end());
    PosixProcessRunner runner;
    for (auto _ : state) {
        std::size_t lines = 0;
        if (runner.run(argv, [&lines](std::string_view) { ++lines; })) {
            state.SkipWithError("quaylet-cli could not be run");
            return;
        }
        benchmark::DoNotOptimize(lines);
    }
}
BENCHMARK(BM_StatusProgram)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace quaylet

BENCHMARK_MAIN();
