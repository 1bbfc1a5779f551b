// The unmount worker's own cost per volume, next to the bare run of a tool that exits at once.
#include <benchmark/benchmark.h>

#include "eject/unmount_worker.h"
#include "platform/linux/libmount_mount_table.h"
#include "platform/linux/posix_process_runner.h"

namespace {

/// Says "mounted" before each tool run and "gone" after it, so every volume is worked.
class AlternatingProbe : public quaylet::MountPointProbe {
public:
    bool isMounted(const std::string&, std::uint64_t) const override {
        return mounted_ = !mounted_;
    }

private:
    mutable bool mounted_ = false;
};

/// A plan of one dock volume on /proc: always mounted, and /bin/true leaves it so. One
/// iteration works one volume, so its time compares directly with one bare tool run.
quaylet::UnplugPlan planOnProc() {
    quaylet::UnplugPlan plan;
    plan.dockVolumes.push_back(quaylet::VolumeRecord{"proc", "/proc", "proc", ""});
    return plan;
}

/// Runs nothing: what remains of a worker run is the worker's own work.
class NoOpRunner : public quaylet::ProcessRunner {
public:
    std::error_code run(const std::vector<std::string>&,
                        const quaylet::OutputLineHandler&) override {
        return {};
    }
};

// /bin/true stands in for the disk tool: it ignores "unmountDisk /proc" and exits at once.
const quaylet::ToolCommands kCommands = quaylet::ToolCommands::forLinux("/bin/true");

void BM_RawToolRun(benchmark::State& state) {
    quaylet::PosixProcessRunner runner;
    const std::vector<std::string> argv = kCommands.unmountDisk("/proc", {});
    for (auto _ : state) {
        runner.run(argv, [](std::string_view) {});
    }
}
BENCHMARK(BM_RawToolRun)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_UnmountAllWithProbeInMemory(benchmark::State& state) {
    quaylet::PosixProcessRunner runner;
    AlternatingProbe probe;
    quaylet::UnplugPlan plan = planOnProc();
    const quaylet::UnmountTools tools{runner, kCommands, probe};
    for (auto _ : state) {
        quaylet::unmountAll(plan, tools);
    }
}
BENCHMARK(BM_UnmountAllWithProbeInMemory)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_UnmountAllWithLibmountProbe(benchmark::State& state) {
    quaylet::PosixProcessRunner runner;
    const quaylet::LibmountMountPointProbe probe;
    quaylet::UnplugPlan plan = planOnProc();
    const quaylet::UnmountTools tools{runner, kCommands, probe};
    for (auto _ : state) {
        quaylet::unmountAll(plan, tools); // the volume stays mounted: one failure each time
    }
}
BENCHMARK(BM_UnmountAllWithLibmountProbe)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_WorkerOnlyWithProbeInMemory(benchmark::State& state) {
    NoOpRunner runner;
    AlternatingProbe probe;
    quaylet::UnplugPlan plan = planOnProc();
    const quaylet::UnmountTools tools{runner, kCommands, probe};
    for (auto _ : state) {
        quaylet::unmountAll(plan, tools);
    }
}
BENCHMARK(BM_WorkerOnlyWithProbeInMemory)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_WorkerOnlyWithLibmountProbe(benchmark::State& state) {
    NoOpRunner runner;
    const quaylet::LibmountMountPointProbe probe;
    quaylet::UnplugPlan plan = planOnProc();
    const quaylet::UnmountTools tools{runner, kCommands, probe};
    for (auto _ : state) {
        quaylet::unmountAll(plan, tools);
    }
}
BENCHMARK(BM_WorkerOnlyWithLibmountProbe)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_LibmountProbeIsMounted(benchmark::State& state) {
    const quaylet::LibmountMountPointProbe probe;
    for (auto _ : state) {
        benchmark::DoNotOptimize(probe.isMounted("/proc", {}));
    }
}
BENCHMARK(BM_LibmountProbeIsMounted)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
