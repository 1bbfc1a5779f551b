// ChildProcess: a program a test starts and that never outlives the test.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace quaylet::testing {

/// A started program. Destroying it while the program runs kills (SIGKILL) and reaps it.
class ChildProcess {
public:
    /// Starts `argv` in `workingDirectory` (empty: the test's own), its standard output written
    /// to the file `outputFile`, its input read from `inputFile` and its standard error written
    /// to `errorFile` (each empty: inherited); nullopt when it cannot be started.
    static std::optional<ChildProcess> start(const std::vector<std::string>& argv,
                                             const std::string& workingDirectory = {},
                                             const std::string& outputFile = {},
                                             const std::string& inputFile = {},
                                             const std::string& errorFile = {});

    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    /// Waits for the program to end; returns its exit status, or 128 + the signal that ended it,
    /// or -1 when it cannot be waited for.
    int wait();
    /// Waits at most `bound` for the program to end: its status as from wait(), or nullopt while
    /// it still runs, so that a test that expected an end fails instead of hanging.
    std::optional<int> waitFor(std::chrono::milliseconds bound);
    /// Returns the program's process id.
    pid_t pid() const { return pid_; }

private:
    explicit ChildProcess(pid_t pid) : pid_(pid) {}
    void end();
    pid_t pid_;
};

/// Runs `argv` to its end with standard output and standard error captured; returns the exit
/// status and both outputs.
struct CapturedRun {
    int status = -1;
    std::string output;
    std::string errors;
};
CapturedRun runCaptured(const std::vector<std::string>& argv, const std::string& scratchDir);

} // namespace quaylet::testing
