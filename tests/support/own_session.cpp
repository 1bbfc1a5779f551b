// A session of the test's own: setsid, or a child that can call it.
#include "tests/support/own_session.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quaylet::testing {

void enterOwnSession() {
    if (::setsid() >= 0 || ::getsid(0) == ::getpid()) {
        return;
    }
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child < 0) {
        std::perror("fork");
        std::exit(2);
    }
    if (child == 0) {
        // A waiting parent killed by a time-out takes the tests with it.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent || ::setsid() < 0) {
            std::_Exit(2);
        }
        return;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            std::perror("waitpid");
            std::_Exit(2);
        }
    }
    std::fflush(nullptr);
    std::_Exit(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
}

} // namespace quaylet::testing
