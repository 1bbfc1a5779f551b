// Processes held through pidfds, their facts read from /proc.
#include "platform/linux/linux_process_signals.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <string_view>

#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/linux/sysfs_reader.h"
#include "platform/unique_fd.h"

namespace quaylet {
namespace {

/// The login uid the kernel gives a process started outside any login.
constexpr std::uint32_t kNoLoginUid = 4294967295U;

/// Returns the value of the "Key:" line in a /proc status text, tabs and spaces trimmed.
std::string_view statusValue(std::string_view status, std::string_view key) {
    for (std::size_t start = 0; start < status.size();) {
        std::size_t end = status.find('\n', start);
        if (end == std::string_view::npos) {
            end = status.size();
        }
        std::string_view line = status.substr(start, end - start);
        if (line.size() > key.size() && line.starts_with(key) && line[key.size()] == ':') {
            line.remove_prefix(key.size() + 1);
            const std::size_t first = line.find_first_not_of(" \t");
            return first == std::string_view::npos ? std::string_view() : line.substr(first);
        }
        start = end + 1;
    }
    return {};
}

/// Reads the unsigned numbers of `text`, separated by tabs or spaces, into `values`; returns
/// how many were read.
template <typename T> std::size_t readNumbers(std::string_view text, T* values, std::size_t most) {
    std::size_t count = 0;
    const char* next = text.data();
    const char* end = text.data() + text.size();
    while (count < most && next < end) {
        while (next < end && (*next == ' ' || *next == '\t')) {
            ++next;
        }
        const auto [rest, error] = std::from_chars(next, end, values[count]);
        if (error != std::errc()) {
            break;
        }
        ++count;
        next = rest;
    }
    return count;
}

class LinuxHeldProcess : public HeldProcess {
public:
    LinuxHeldProcess(std::string procRoot, std::int32_t pid, UniqueFd pidfd)
        : procRoot_(std::move(procRoot)), pid_(pid), pidfd_(std::move(pidfd)) {}

    std::int32_t pid() const override { return pid_; }

    std::optional<ProcessFacts> facts() const override {
        std::optional<ProcessFacts> facts = readProcessFacts(procRoot_, pid_);
        // Read after the pidfd was opened: while the held process is still alive, its id
        // cannot have passed to another process, so what was read is its own.
        if (!facts || hasEnded()) {
            return std::nullopt;
        }
        return facts;
    }

    bool send(EndSignal signal) override {
        const int number = signal == EndSignal::Kill ? SIGKILL : SIGTERM;
        // Through the system call: Debian 12's <sys/pidfd.h> declares its wrappers without C
        // linkage.
        return ::syscall(SYS_pidfd_send_signal, pidfd_.get(), number, nullptr, 0) == 0;
    }

    bool hasEnded() const override {
        pollfd ended{pidfd_.get(), POLLIN, 0};
        return ::poll(&ended, 1, 0) != 0;
    }

    int endDescriptor() const override { return pidfd_.get(); }

private:
    std::string procRoot_;
    std::int32_t pid_;
    UniqueFd pidfd_;
};

} // namespace

std::optional<ProcessFacts> readProcessFacts(const std::string& procRoot, std::int32_t pid) {
    const std::string folder = procRoot + "/" + std::to_string(pid);
    const std::optional<std::string> status = sysfs::readAttribute(folder + "/status");
    if (!status) {
        return std::nullopt;
    }
    ProcessFacts facts;
    facts.pid = pid;
    std::uint32_t uids[4] = {};
    std::int32_t parent = 0;
    std::int32_t session = 0;
    if (readNumbers(statusValue(*status, "Uid"), uids, 4) != 4 ||
        readNumbers(statusValue(*status, "PPid"), &parent, 1) != 1) {
        return std::nullopt;
    }
    facts.realUid = uids[0];
    facts.effectiveUid = uids[1];
    facts.savedUid = uids[2];
    facts.fileSystemUid = uids[3];
    facts.parentPid = parent;
    // NSsid lists the session in each pid namespace, the outermost first; ours is the last.
    std::string_view sessions = statusValue(*status, "NSsid");
    sessions = sessions.substr(sessions.find_last_of(" \t") + 1);
    readNumbers(sessions, &session, 1);
    facts.sessionId = session;
    // Kernels before 6.2 have no Kthread line; a kernel thread is then told by having no
    // memory of its own (no VmSize line) or by being kthreadd's child.
    const std::string_view kthread = statusValue(*status, "Kthread");
    facts.kernelThread = kthread.empty()
                             ? statusValue(*status, "VmSize").empty() || parent == 2 || pid == 2
                             : kthread == "1";
    std::uint32_t login = kNoLoginUid;
    if (const auto text = sysfs::readAttribute(folder + "/loginuid")) {
        readNumbers(std::string_view(*text), &login, 1);
    }
    if (login != kNoLoginUid) {
        facts.loginUid = login;
    }
    return facts;
}

std::unique_ptr<HeldProcess> LinuxProcessSignals::hold(std::int32_t pid) {
    if (pid <= 0) {
        return nullptr;
    }
    UniqueFd pidfd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    if (!pidfd) {
        return nullptr;
    }
    return std::make_unique<LinuxHeldProcess>(procRoot_, pid, std::move(pidfd));
}

std::optional<ProcessFacts> LinuxProcessSignals::ownFacts() const {
    return readProcessFacts(procRoot_, static_cast<std::int32_t>(::getpid()));
}

std::vector<std::int32_t> LinuxProcessSignals::ownAncestors() const {
    std::vector<std::int32_t> ancestors;
    std::int32_t pid = static_cast<std::int32_t>(::getppid());
    // The chain ends at the namespace's first process, whose parent reads as 0; the bound
    // guards against a chain that changes while it is read.
    while (pid > 0 && ancestors.size() < 4096) {
        ancestors.push_back(pid);
        const std::optional<ProcessFacts> facts = readProcessFacts(procRoot_, pid);
        pid = facts ? facts->parentPid : 0;
    }
    return ancestors;
}

} // namespace quaylet
