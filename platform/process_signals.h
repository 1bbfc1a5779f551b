// ProcessSignals: holding one process by more than its id, reading who it belongs to, and
// asking it to end.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace quaylet {

/// What the system says of one process: whose it is and where it comes from.
struct ProcessFacts {
    std::int32_t pid = 0;
    std::int32_t parentPid = 0;
    /// Real, effective, saved and file-system user ids.
    std::uint32_t realUid = 0;
    std::uint32_t effectiveUid = 0;
    std::uint32_t savedUid = 0;
    std::uint32_t fileSystemUid = 0;
    /// The user whose login the process descends from; nullopt when it was started outside any
    /// login (by the system's service manager at boot, say).
    std::optional<std::uint32_t> loginUid;
    std::int32_t sessionId = 0; ///< The session (setsid) it belongs to.
    bool kernelThread = false;
};

/// How a held process is asked to end.
enum class EndSignal {
    Terminate, ///< SIGTERM: the process may save its work and end.
    Kill,      ///< SIGKILL: the kernel ends the process at once.
};

/// One process held so that its id cannot come to name another one: whatever is read or sent
/// through it reaches this process or nothing.
class HeldProcess {
public:
    virtual ~HeldProcess() = default;
    /// Returns the process id it was held by.
    virtual std::int32_t pid() const = 0;
    /// Returns the process's facts as they are now; nullopt when it has ended or cannot be read.
    virtual std::optional<ProcessFacts> facts() const = 0;
    /// Sends `signal`; returns false when the process has ended or may not be signalled.
    virtual bool send(EndSignal signal) = 0;
    /// Returns whether the process has ended.
    virtual bool hasEnded() const = 0;
    /// Returns a descriptor that becomes readable when the process ends, to wait on with poll or
    /// an event loop; -1 when there is none (the process then ends, if at all, on a signal).
    virtual int endDescriptor() const = 0;
};

/// The system's processes, as far as ending one of them needs them.
class ProcessSignals {
public:
    virtual ~ProcessSignals() = default;
    /// Holds the process `pid`; null when there is no such process (any more).
    virtual std::unique_ptr<HeldProcess> hold(std::int32_t pid) = 0;
    /// Returns the facts of the calling process itself; nullopt when they cannot be read.
    virtual std::optional<ProcessFacts> ownFacts() const = 0;
    /// Returns the ids of the calling process's ancestors, its parent first; empty when unknown.
    virtual std::vector<std::int32_t> ownAncestors() const = 0;
};

} // namespace quaylet
