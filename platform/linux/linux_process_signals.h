// LinuxProcessSignals: processes held through pidfds, their facts read from /proc.
#pragma once

#include <string>

#include "platform/process_signals.h"

namespace quaylet {

/// Holds a process by a pidfd (pidfd_open), reads its facts from /proc/PID/status and
/// /proc/PID/loginuid, and signals it with pidfd_send_signal, so that a process id that was
/// reused meanwhile is never read or signalled in its place.
class LinuxProcessSignals : public ProcessSignals {
public:
    /// `procRoot` is where the proc file system is mounted.
    explicit LinuxProcessSignals(std::string procRoot = "/proc") : procRoot_(std::move(procRoot)) {}

    std::unique_ptr<HeldProcess> hold(std::int32_t pid) override;
    std::optional<ProcessFacts> ownFacts() const override;
    std::vector<std::int32_t> ownAncestors() const override;

private:
    std::string procRoot_;
};

/// Reads the facts of process `pid` from the proc file system at `procRoot`; nullopt when the
/// process does not exist or its status cannot be read. The facts are only known to be that
/// process's when it is still alive afterwards, as a held process checks.
std::optional<ProcessFacts> readProcessFacts(const std::string& procRoot, std::int32_t pid);

} // namespace quaylet
