// How the scan and `quaylet-cli status` grow with the number of mounts: on a recorded table of
// the heavy docked laptop, on this system's own table in a private mount namespace, and against
// `findmnt -J` on the same 126 mounts.
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "platform/linux/libmount_mount_table.h"
#include "platform/linux/linux_device_naming.h"
#include "platform/linux/linux_file_manager.h"
#include "platform/linux/posix_process_runner.h"
#include "platform/linux/sysfs_registry.h"
#include "platform/memory/memory_file_manager.h"
#include "tests/support/real_system.h"
#include "tests/support/test_paths.h"
#include "volumes/scan_volumes.h"

namespace quaylet {
namespace {

const std::string kMachine = std::string(testing::kFixturesDir) + "/laptop-dock-heavy";

/// The heavy laptop's recorded table cut or padded to `count` mounts: its system and dock
/// volumes first, then snaps (squashfs on loop devices, the tree's 40 and more it does not
/// have) and container overlays.
std::string recordedTable(std::size_t count) {
    std::ifstream recorded(kMachine + "/mountinfo");
    std::vector<std::string> lines;
    for (std::string line; std::getline(recorded, line) && lines.size() < 13;) {
        lines.push_back(line);
    }
    lines.resize(std::min(lines.size(), count));
    for (std::size_t i = lines.size(); i < count; ++i) {
        std::ostringstream line;
        if (i % 2 == 0) {
            // Every snap its own loop device, as on a desktop: the scan tests each device once.
            const std::size_t loop = 3 + i / 2;
            line << 1000 + i << " 22 7:" << loop << " / /snap/app" << loop << "/" << i
                 << " ro,nodev,relatime shared:" << i << " - squashfs /dev/loop" << loop
                 << " ro,errors=continue";
        } else {
            line << 1000 + i << " 22 0:" << 100 + i << " / /var/lib/containers/c" << i
                 << "/merged rw,relatime - overlay overlay rw,lowerdir=/l,upperdir=/u,workdir=/w";
        }
        lines.push_back(line.str());
    }
    const std::string path = "/tmp/quaylet-bench-mountinfo-" + std::to_string(::getpid());
    std::ofstream file(path, std::ios::trunc);
    for (const std::string& line : lines) {
        file << line << '\n';
    }
    return path;
}

/// The scan alone, as `quaylet-cli --mountinfo` runs it: the table read through libmount, the
/// devices found in the fixture tree by name, names from the mount points.
void BM_ScanRecordedMounts(benchmark::State& state) {
    const std::string table = recordedTable(static_cast<std::size_t>(state.range(0)));
    SysfsRegistry registry(kMachine + "/sys");
    const LibmountMountTable mounts(table);
    const MemoryFileManager names;
    const LinuxDeviceNaming naming(kMachine + "/sys", MountSourceNodes::Recorded);
    const ScanSources sources{registry, mounts, names, naming};
    UnplugPlan plan;
    for (auto _ : state) {
        bool bootVolume = false;
        benchmark::DoNotOptimize(scanVolumes(sources, plan, false, bootVolume));
    }
    ::unlink(table.c_str());
    state.counters["planned"] = plan.volumeCount();
    state.counters["per_mount"] = benchmark::Counter(static_cast<double>(state.range(0)),
                                                     benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
}
BENCHMARK(BM_ScanRecordedMounts)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

/// Extra mounts in this process's private mount namespace, alternately tmpfs and a bind mount
/// of /usr (a mount from a block device, as snaps are), until the table has the count asked
/// for. Whatever is left is unmounted when the program ends.
class PaddingMounts {
public:
    ~PaddingMounts() { resize(0); }

    /// Adds or removes padding until the mount table has `count` entries; false when it
    /// cannot be done (not root, or no private namespace).
    bool reach(std::size_t count) {
        if (testing::realSystemUnavailableReason()) {
            return false;
        }
        const std::size_t others = LibmountMountTable().entries().size() - targets_.size();
        return count >= others && resize(count - others);
    }

private:
    bool resize(std::size_t padding) {
        while (targets_.size() > padding) {
            if (::umount(targets_.back().c_str()) != 0) {
                return false;
            }
            ::rmdir(targets_.back().c_str());
            targets_.pop_back();
        }
        while (targets_.size() < padding) {
            if (base_.empty() && !mountBase()) {
                return false;
            }
            const std::string target = base_ + "/m" + std::to_string(targets_.size());
            ::mkdir(target.c_str(), 0755);
            const bool bind = targets_.size() % 2 == 1;
            if (::mount(bind ? "/usr" : "tmpfs", target.c_str(), bind ? nullptr : "tmpfs",
                        bind ? MS_BIND : 0, nullptr) != 0) {
                return false;
            }
            targets_.push_back(target);
        }
        return true;
    }

    bool mountBase() {
        char folder[] = "/tmp/quaylet-bench-mounts.XXXXXX";
        if (::mkdtemp(folder) == nullptr) {
            return false;
        }
        // The first padding mount holds the folders of the others.
        if (::mount("tmpfs", folder, "tmpfs", 0, nullptr) != 0) {
            return false;
        }
        base_ = folder;
        targets_.push_back(base_);
        return true;
    }

    std::string base_;
    std::vector<std::string> targets_;
};

PaddingMounts& padding() {
    static PaddingMounts mounts;
    return mounts;
}

/// The scan alone on this system: its own table, /sys, udev and file-system labels.
void BM_ScanLiveMounts(benchmark::State& state) {
    if (!padding().reach(static_cast<std::size_t>(state.range(0)))) {
        state.SkipWithError("needs root and a private mount namespace");
        return;
    }
    SysfsRegistry registry("/sys");
    const LibmountMountTable mounts;
    const LinuxFileManager names;
    const LinuxDeviceNaming naming;
    const ScanSources sources{registry, mounts, names, naming};
    UnplugPlan plan;
    for (auto _ : state) {
        bool bootVolume = false;
        benchmark::DoNotOptimize(scanVolumes(sources, plan, true, bootVolume));
    }
    state.counters["per_mount"] = benchmark::Counter(static_cast<double>(state.range(0)),
                                                     benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ScanLiveMounts)
    ->Arg(25)
    ->Arg(100)
    ->Arg(1000)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMicrosecond);

double childCpuMilliseconds() {
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

/// One program on this system's table of `state.range(0)` mounts, started and waited for;
/// `child_cpu` is the program's own CPU time, which a busy machine does not inflate.
void runProgram(benchmark::State& state, const std::vector<std::string>& argv) {
    if (!padding().reach(static_cast<std::size_t>(state.range(0)))) {
        state.SkipWithError("needs root and a private mount namespace");
        return;
    }
    PosixProcessRunner runner(PosixProcessRunner::ErrorOutput::discard);
    const double cpuBefore = childCpuMilliseconds();
    for (auto _ : state) {
        std::size_t lines = 0;
        if (runner.run(argv, [&lines](std::string_view) { ++lines; })) {
            state.SkipWithError("the program could not be run");
            return;
        }
        benchmark::DoNotOptimize(lines);
    }
    state.counters["child_cpu_ms"] = benchmark::Counter((childCpuMilliseconds() - cpuBefore) /
                                                        static_cast<double>(state.iterations()));
}

void BM_StatusProgram(benchmark::State& state) {
    runProgram(state, {std::string(testing::kProgramsDir) + "/quaylet-cli", "status"});
}
BENCHMARK(BM_StatusProgram)->Arg(26)->Arg(126)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FindmntJson(benchmark::State& state) {
    runProgram(state, {"findmnt", "-J"});
}
BENCHMARK(BM_FindmntJson)->Arg(26)->Arg(126)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace quaylet

int main(int argc, char** argv) {
    // Mounts made here must never reach the host's table.
    quaylet::testing::enterPrivateMountNamespace();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
