// Starting a tool from an argument vector through posix_spawn and reading its output whole.
#include "app/command_runner.h"

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quaylet {

namespace {

// Owns one file descriptor.
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = -1;
    }

private:
    int fd_;
};

// Owns the file actions of one spawn: stdin from /dev/null, stdout into the pipe.
class SpawnFileActions {
public:
    SpawnFileActions() { ok_ = ::posix_spawn_file_actions_init(&actions_) == 0; }
    ~SpawnFileActions() {
        if (ok_) {
            ::posix_spawn_file_actions_destroy(&actions_);
        }
    }
    SpawnFileActions(const SpawnFileActions&) = delete;
    SpawnFileActions& operator=(const SpawnFileActions&) = delete;
    bool redirect(int outputFd) {
        return ok_ &&
               ::posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY,
                                                  0) == 0 &&
               ::posix_spawn_file_actions_adddup2(&actions_, outputFd, STDOUT_FILENO) == 0;
    }
    const posix_spawn_file_actions_t* get() const { return &actions_; }

private:
    posix_spawn_file_actions_t actions_{};
    bool ok_ = false;
};

// Owns the attributes of one spawn: default SIGPIPE and SIGCHLD and an empty signal mask, so
// that the dispositions this process chose for itself do not reach the tool.
class SpawnAttributes {
public:
    SpawnAttributes() { ok_ = ::posix_spawnattr_init(&attributes_) == 0; }
    ~SpawnAttributes() {
        if (ok_) {
            ::posix_spawnattr_destroy(&attributes_);
        }
    }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    bool resetSignals() {
        sigset_t defaults;
        sigset_t emptyMask;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        sigaddset(&defaults, SIGCHLD);
        sigemptyset(&emptyMask);
        return ok_ && ::posix_spawnattr_setsigdefault(&attributes_, &defaults) == 0 &&
               ::posix_spawnattr_setsigmask(&attributes_, &emptyMask) == 0 &&
               ::posix_spawnattr_setflags(&attributes_,
                                          POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK) == 0;
    }
    const posix_spawnattr_t* get() const { return &attributes_; }

private:
    posix_spawnattr_t attributes_{};
    bool ok_ = false;
};

// Owns a started child and waits for it when it goes out of scope. With SIGCHLD ignored the
// kernel reaps the child itself, and waitpid returns ECHILD once it has exited.
class ChildProcess {
public:
    explicit ChildProcess(pid_t pid) : pid_(pid) {}
    ~ChildProcess() {
        while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

private:
    pid_t pid_;
};

std::string readAll(int fd) {
    std::string output;
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count > 0) {
            output.append(buffer, static_cast<std::size_t>(count));
        } else if (count == 0 || errno != EINTR) {
            return output;
        }
    }
}

} // namespace

std::string runShellCommand(const std::vector<std::string>& argv) {
    if (argv.empty()) {
        return {};
    }
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        return {};
    }
    UniqueFd readEnd(ends[0]);
    UniqueFd writeEnd(ends[1]);
    SpawnFileActions actions;
    SpawnAttributes attributes;
    if (!actions.redirect(writeEnd.get()) || !attributes.resetSignals()) {
        return {};
    }
    std::vector<char*> arguments;
    for (const std::string& argument : argv) {
        arguments.push_back(const_cast<char*>(argument.c_str()));
    }
    arguments.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawnp(&pid, arguments[0], actions.get(), attributes.get(), arguments.data(),
                       environ) != 0) {
        return {};
    }
    const ChildProcess child(pid);
    // Only the tool may hold the write end now, so the output ends when the tool closes it.
    writeEnd.reset();
    return readAll(readEnd.get());
}

bool openSecurityPreferences(const std::vector<std::string>& command) {
    return !command.empty() && runShellCommand(command).empty();
}

} // namespace quaylet
