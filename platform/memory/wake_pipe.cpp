// The self-pipe behind the in-memory notification port and mount monitor (POSIX only).
#include "platform/memory/wake_pipe.h"

#include <cerrno>

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
    readEnd_ = ends[0];
    writeEnd_ = ends[1];
    if (!makeNonBlockingAndCloseOnExec(readEnd_) || !makeNonBlockingAndCloseOnExec(writeEnd_)) {
        close(readEnd_);
        close(writeEnd_);
        readEnd_ = writeEnd_ = -1;
    }
}

WakePipe::~WakePipe() {
    if (readEnd_ != -1) {
        close(readEnd_);
        close(writeEnd_);
    }
}

void WakePipe::signal() {
    if (writeEnd_ == -1) {
        return;
    }
    const char byte = 1;
    // A full pipe is already readable, so a write refused with EAGAIN loses nothing.
    while (write(writeEnd_, &byte, 1) == -1 && errno == EINTR) {
    }
}

void WakePipe::drain() {
    if (readEnd_ == -1) {
        return;
    }
    char buffer[256];
    for (;;) {
        const ssize_t got = read(readEnd_, buffer, sizeof buffer);
        if (got > 0 || (got == -1 && errno == EINTR)) {
            continue;
        }
        return;
    }
}

} // namespace quaylet
