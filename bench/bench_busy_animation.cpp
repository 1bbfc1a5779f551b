// The busy animation while the unmount tool is slow: the delegate on a snapshot machine whose
// every tool run first waits for a real `sleep` child, timed frame by frame on the main thread.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <sys/resource.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>

#include "app/notification_sink.h"
#include "app/vlk_app_delegate.h"
#include "platform/linux/posix_process_runner.h"
#include "platform/string_table.h"
#include "tests/support/fixture_machine.h"

namespace {

using namespace quaylet;

/// Runs `sleep SECONDS` as a real child before each tool run it passes on, so that the worker
/// thread blocks in a tool exactly as it does when a disk answers slowly.
class SlowToolRunner final : public ProcessRunner {
public:
    SlowToolRunner(std::unique_ptr<ProcessRunner> inner, std::string seconds)
        : inner_(std::move(inner)), seconds_(std::move(seconds)) {}

    std::error_code run(const std::vector<std::string>& argv,
                        const OutputLineHandler& onLine) override {
        if (const std::error_code error = sleeper_.run({"sleep", seconds_}, [](auto) {})) {
            return error;
        }
        return inner_->run(argv, onLine);
    }

private:
    std::unique_ptr<ProcessRunner> inner_;
    std::string seconds_;
    PosixProcessRunner sleeper_;
};

/// Returns how often the calling thread has given up the processor so far: its wake-ups.
long threadContextSwitches() {
    rusage usage{};
    ::getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_nvcsw + usage.ru_nivcsw;
}

class DiscardingSink final : public NotificationSink {
public:
    void deliverNotification(const UserNotification&) override {}
};

/// One unplug command on the busy-dock machine (two volumes to unmount, so two slow tool runs
/// while the animation plays), with the tool delay in milliseconds as the argument. Manual
/// time is the time from the command until the animation stops. Counters: the frame rate from
/// first to last frame, the longest wait for a frame (the main thread's worst stall), and the
/// main thread's wake-ups per second meanwhile.
void BM_AnimationWhileToolIsSlow(benchmark::State& state) {
    const std::string seconds = std::to_string(static_cast<double>(state.range(0)) / 1000.0);
    QTemporaryDir home;
    QSettings settings(home.filePath("Quaylet.conf"), QSettings::IniFormat);
    settings.setValue("hasEverRun", true);
    const StringTable& strings = StringTable::builtIn();
    DiscardingSink sink;
    std::int64_t intervals = 0; // between consecutive frames
    double framing = 0;         // from each command's first frame to its last
    double longestGap = 0;      // from the command or a frame to the next frame
    double elapsed = 0;         // from each command until its animation stopped
    long switches = 0;          // the main thread's context switches meanwhile
    for (auto _ : state) {
        SnapshotError error;
        auto platform =
            loadSnapshotPlatform(quaylet::testing::fixturePath("laptop-with-busy-dock"), error);
        if (!platform) {
            state.SkipWithError(error.problem.c_str());
            return;
        }
        platform->processRunner =
            std::make_unique<SlowToolRunner>(std::move(platform->processRunner), seconds);
        VLKAppDelegate delegate(AppServices{*platform, sink, strings, settings,
                                            home.filePath("autostart"), home.filePath("quaylet"),
                                            std::nullopt});
        delegate.applicationDidFinishLaunching();

        QElapsedTimer clock;
        std::vector<double> frameTimes;
        const long switchesBefore = threadContextSwitches();
        clock.start();
        delegate.unplugDock();
        if (!delegate.busyTimer()) {
            state.SkipWithError("the unplug command did not start the animation");
            return;
        }
        QObject::connect(delegate.busyTimer(), &QTimer::timeout, [&] {
            frameTimes.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e9);
        });
        while (delegate.unplugInProgress()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        const double took = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        switches += threadContextSwitches() - switchesBefore;
        elapsed += took;
        state.SetIterationTime(took);
        if (frameTimes.size() < 2) {
            state.SkipWithError("fewer than two frames while the tool ran");
            return;
        }
        intervals += static_cast<std::int64_t>(frameTimes.size()) - 1;
        framing += frameTimes.back() - frameTimes.front();
        double previous = 0;
        for (const double at : frameTimes) {
            longestGap = std::max(longestGap, at - previous);
            previous = at;
        }
    }
    state.counters["frames_per_s"] = static_cast<double>(intervals) / framing;
    state.counters["longest_gap_ms"] = longestGap * 1000;
    state.counters["main_wakeups_per_s"] = static_cast<double>(switches) / elapsed;
}
BENCHMARK(BM_AnimationWhileToolIsSlow)
    ->Arg(500)
    ->Arg(2000)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    // No desktop is needed: the frames are counted, not looked at.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
