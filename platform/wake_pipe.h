// WakePipe: a self-pipe whose read end turns readable when work is waiting.
#pragma once

#include "platform/unique_fd.h"

namespace quaylet {

/// Owns both ends of a non-blocking pipe. `signal` makes the read end readable until `drain`.
class WakePipe {
public:
    WakePipe();

    /// The read end, for an event loop to watch; -1 when the pipe could not be made.
    int descriptor() const { return readEnd_.get(); }
    /// Makes the read end readable. Does nothing when the pipe could not be made.
    void signal();
    /// Reads everything waiting, so that the read end is no longer readable.
    void drain();

private:
    UniqueFd readEnd_;
    UniqueFd writeEnd_;
};

} // namespace quaylet
