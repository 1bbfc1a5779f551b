// RecordingProcessRunner: records every tool run, answers it from a script or passes it on, and
// can hold chosen tools at a gate.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/process_runner.h"

namespace quaylet::testing {

/// A runner for tests: every run is recorded; a test can keep a background step inside a tool
/// run (until it opens the gate). Safe to use from several threads.
class RecordingProcessRunner final : public ProcessRunner {
public:
    /// Returns a run's whole standard output, or nullopt when the program cannot start.
    using Script = std::function<std::optional<std::string>(const std::vector<std::string>&)>;

    /// Answers every run from `script`, its output cut into whole lines as a program's would be.
    explicit RecordingProcessRunner(Script script);
    /// Passes every run on to `inner`.
    explicit RecordingProcessRunner(std::unique_ptr<ProcessRunner> inner);

    /// Makes runs of `program` (argv[0]'s last component) wait until open(), 10 s at most.
    void hold(std::string program);
    /// Lets every held run go on, now and later.
    void open();
    /// Blocks until at least one run waits at the gate; false after 5 s.
    bool waitUntilHeld();
    /// Returns every argument vector run so far, in order.
    std::vector<std::vector<std::string>> runs() const;

    std::error_code run(const std::vector<std::string>& argv,
                        const OutputLineHandler& onLine) override;

private:
    Script script_;
    std::unique_ptr<ProcessRunner> inner_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::set<std::string, std::less<>> held_;
    std::vector<std::vector<std::string>> runs_;
    std::size_t waiting_ = 0;
    bool open_ = false;
};

} // namespace quaylet::testing
