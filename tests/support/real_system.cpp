// Private mount namespace and availability checks for real-system tests.
#include "tests/support/real_system.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace quaylet::testing {
namespace {

std::optional<std::string>& namespaceFailure() {
    static std::optional<std::string> failure =
        std::string("the private mount namespace was never entered");
    return failure;
}

} // namespace

void enterPrivateMountNamespace() {
    if (geteuid() != 0) {
        namespaceFailure() = "not running as root";
        return;
    }
    if (unshare(CLONE_NEWNS) != 0) {
        namespaceFailure() = std::string("unshare(CLONE_NEWNS) failed: ") + std::strerror(errno);
        return;
    }
    // Nothing mounted or unmounted from here on may reach the host's mount table.
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        namespaceFailure() = std::string("making / private failed: ") + std::strerror(errno);
        std::abort(); // a shared namespace is not safe to continue in
    }
    namespaceFailure().reset();
}

std::optional<std::string> realSystemUnavailableReason() {
    if (namespaceFailure()) {
        return namespaceFailure();
    }
    if (access("/dev/loop-control", R_OK | W_OK) != 0) {
        return std::string("no loop devices (/dev/loop-control is not usable)");
    }
    return std::nullopt;
}

bool realSystemRequired() {
    const char* value = std::getenv("QUAYLET_REQUIRE_REAL");
    return value != nullptr && std::strcmp(value, "1") == 0;
}

} // namespace quaylet::testing
