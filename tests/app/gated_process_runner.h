// GatedProcessRunner: passes tool runs on, holding chosen tools at a gate or refusing them.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process_runner.h"

namespace quaylet::testing {

/// Wraps the platform's runner so that a test can keep the background step inside a tool run
/// (until it opens the gate) or make a tool fail to start, as a missing program does.
class GatedProcessRunner final : public ProcessRunner {
public:
    /// Passes runs on to `inner`.
    explicit GatedProcessRunner(std::unique_ptr<ProcessRunner> inner);

    /// Makes runs of `program` (argv[0]'s last component) wait until open().
    void hold(std::string program);
    /// Makes runs of `program` fail to start.
    void refuse(std::string program);
    /// Lets every held run go on, now and later.
    void open();
    /// Blocks until at least `count` runs wait at the gate; false after 5 s.
    bool waitUntilHeld(std::size_t count = 1);
    /// Returns how many runs of `program` were started or refused so far.
    std::size_t runsOf(std::string_view program) const;
    /// Returns every command asked for so far, in order.
    std::vector<std::vector<std::string>> commands() const;

    std::error_code run(const std::vector<std::string>& argv,
                        const OutputLineHandler& onLine) override;

private:
    std::unique_ptr<ProcessRunner> inner_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::set<std::string, std::less<>> held_;
    std::set<std::string, std::less<>> refused_;
    std::vector<std::vector<std::string>> commands_;
    std::size_t waiting_ = 0;
    bool open_ = false;
};

} // namespace quaylet::testing
