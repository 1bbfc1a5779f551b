// SignalPipe: SIGINT and SIGTERM turned into a descriptor an event loop can wait on.
#pragma once

#include "platform/unique_fd.h"

namespace quaylet {

/// While it lives, SIGINT and SIGTERM no longer end the process; instead its descriptor turns
/// readable. The signals' earlier handling comes back when it is destroyed. One at a time.
class SignalPipe {
public:
    /// Opens the pipe and takes over the two signals; descriptor() is -1 when that failed.
    SignalPipe();
    ~SignalPipe();
    SignalPipe(const SignalPipe&) = delete;
    SignalPipe& operator=(const SignalPipe&) = delete;

    /// The read end; readable once a signal has come.
    int descriptor() const { return readEnd_.get(); }

private:
    UniqueFd readEnd_;
    UniqueFd writeEnd_;
    bool interruptTaken_ = false;
    bool terminateTaken_ = false;
};

} // namespace quaylet
