// The self-pipe behind the in-memory notification port and mount monitor (POSIX only).
#include "platform/wake_pipe.h"

#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace quaylet {
namespace {

bool makeNonBlockingAndCloseOnExec(int fd) {
    const int statusFlags = fcntl(fd, F_GETFL);
    const int descriptorFlags = fcntl(fd, F_GETFD);
    return statusFlags != -1 && descriptorFlags != -1 &&
           fcntl(fd, F_SETFL, statusFlags | O_NONBLOCK) != -1 &&
           fcntl(fd, F_SETFD, descriptorFlags | FD_CLOEXEC) != -1;
}

} // namespace

WakePipe::WakePipe() {
    int ends[2] = {-1, -1};
    if (pipe(ends) != 0) {
        return;
    }
    UniqueFd readEnd(ends[0]);
    UniqueFd writeEnd(ends[1]);
    if (makeNonBlockingAndCloseOnExec(readEnd.get()) &&
        makeNonBlockingAndCloseOnExec(writeEnd.get())) {
        readEnd_ = std::move(readEnd);
        writeEnd_ = std::move(writeEnd);
    }
}

void WakePipe::signal() {
    if (!writeEnd_) {
        return;
    }
    const char byte = 1;
    // A full pipe is already readable, so a write refused with EAGAIN loses nothing.
    while (write(writeEnd_.get(), &byte, 1) == -1 && errno == EINTR) {
    }
}

void WakePipe::drain() {
    if (!readEnd_) {
        return;
    }
    char buffer[256];
    for (;;) {
        const ssize_t got = read(readEnd_.get(), buffer, sizeof buffer);
        if (got > 0 || (got == -1 && errno == EINTR)) {
            continue;
        }
        return;
    }
}

} // namespace quaylet
