// SignalPipe: the self-pipe trick, with the handlers restored when it goes.
#include "cli/signal_pipe.h"

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace quaylet {
namespace {

/// The write end the handler writes to; a handler may reach only such plain globals.
volatile std::sig_atomic_t gWriteEnd = -1;

struct sigaction gPreviousInterrupt {};
struct sigaction gPreviousTerminate {};

extern "C" void onSignal(int) {
    const int saved = errno;
    const char byte = 1;
    // A full pipe already says that a signal came.
    [[maybe_unused]] const ssize_t written = ::write(gWriteEnd, &byte, 1);
    errno = saved;
}

} // namespace

SignalPipe::SignalPipe() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    readEnd_.reset(ends[0]);
    writeEnd_.reset(ends[1]);
    gWriteEnd = ends[1];
    struct sigaction action {};
    action.sa_handler = &onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    interruptTaken_ = ::sigaction(SIGINT, &action, &gPreviousInterrupt) == 0;
    terminateTaken_ = ::sigaction(SIGTERM, &action, &gPreviousTerminate) == 0;
    if (!interruptTaken_ || !terminateTaken_) {
        readEnd_.reset(); // a stop that cannot be heard must not be waited for
    }
}

SignalPipe::~SignalPipe() {
    if (interruptTaken_) {
        ::sigaction(SIGINT, &gPreviousInterrupt, nullptr);
    }
    if (terminateTaken_) {
        ::sigaction(SIGTERM, &gPreviousTerminate, nullptr);
    }
    gWriteEnd = -1;
}

} // namespace quaylet
