// Shell-less program runs: posix_spawn with a pipe on standard output, read as whole lines.
#include "platform/linux/posix_process_runner.h"

#include <array>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/unique_fd.h"

extern char** environ;

namespace quaylet {
namespace {

std::error_code lastError() {
    return {errno, std::system_category()};
}

/// Owns the spawn file actions of one start.
class FileActions {
public:
    FileActions() { ::posix_spawn_file_actions_init(&actions_); }
    ~FileActions() { ::posix_spawn_file_actions_destroy(&actions_); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_{};
};

/// Owns the spawn attributes of one start.
class SpawnAttributes {
public:
    SpawnAttributes() { ::posix_spawnattr_init(&attributes_); }
    ~SpawnAttributes() { ::posix_spawnattr_destroy(&attributes_); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    posix_spawnattr_t* get() { return &attributes_; }

private:
    posix_spawnattr_t attributes_{};
};

/// Waits for a started child when it goes out of scope, so no child is left unreaped.
class ChildGuard {
public:
    explicit ChildGuard(pid_t pid) : pid_(pid) {}
    ChildGuard(const ChildGuard&) = delete;
    ChildGuard& operator=(const ChildGuard&) = delete;
    ~ChildGuard() { wait(); }

    /// Blocks until the child has ended. With SIGCHLD ignored the kernel reaps the child
    /// itself: waitpid then blocks until it ends and fails with ECHILD, which means "ended".
    void wait() {
        if (pid_ <= 0) {
            return;
        }
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
    }

private:
    pid_t pid_;
};

/// Cuts a byte stream into whole lines of any length, each with its newline when it had one.
class LineSplitter {
public:
    explicit LineSplitter(const OutputLineHandler& onLine) : onLine_(onLine) {}

    void feed(const char* data, std::size_t size) {
        std::string_view rest(data, size);
        while (!rest.empty()) {
            const std::size_t newline = rest.find('\n');
            if (newline == std::string_view::npos) {
                pending_.append(rest);
                return;
            }
            const std::string_view head = rest.substr(0, newline + 1);
            rest.remove_prefix(newline + 1);
            if (pending_.empty()) {
                onLine_(head); // the common case needs no copy
            } else {
                pending_.append(head);
                onLine_(pending_);
                pending_.clear();
            }
        }
    }

    void finish() {
        if (!pending_.empty()) {
            onLine_(pending_);
            pending_.clear();
        }
    }

private:
    const OutputLineHandler& onLine_;
    std::string pending_;
};

void readLines(int fd, const OutputLineHandler& onLine) {
    std::array<char, 64 * 1024> buffer{};
    LineSplitter lines(onLine);
    for (;;) {
        const ssize_t count = ::read(fd, buffer.data(), buffer.size());
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break; // end of output, or an error that ends it just the same
        }
        lines.feed(buffer.data(), static_cast<std::size_t>(count));
    }
    lines.finish();
}

bool holdsNulByte(const std::vector<std::string>& argv) {
    for (const std::string& argument : argv) {
        if (argument.find('\0') != std::string::npos) {
            return true;
        }
    }
    return false;
}

/// Prepares the child's descriptors: stdin from /dev/null, stdout into `outputFd`.
int prepareFiles(FileActions& files, int outputFd, bool discardErrors) {
    int error =
        ::posix_spawn_file_actions_addopen(files.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (error == 0) {
        error = ::posix_spawn_file_actions_adddup2(files.get(), outputFd, STDOUT_FILENO);
    }
    if (error == 0 && discardErrors) {
        error = ::posix_spawn_file_actions_addopen(files.get(), STDERR_FILENO, "/dev/null",
                                                   O_WRONLY, 0);
    }
    return error;
}

/// Gives the child default SIGCHLD and SIGPIPE handling and an empty signal mask, whatever
/// the caller ignores or blocks.
int prepareAttributes(SpawnAttributes& attributes) {
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGCHLD);
    sigaddset(&defaults, SIGPIPE);
    sigset_t mask;
    sigemptyset(&mask);
    int error = ::posix_spawnattr_setsigdefault(attributes.get(), &defaults);
    if (error == 0) {
        error = ::posix_spawnattr_setsigmask(attributes.get(), &mask);
    }
    if (error == 0) {
        error = ::posix_spawnattr_setflags(attributes.get(),
                                           POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    }
    return error;
}

int spawn(pid_t& pid, const std::vector<std::string>& argv, FileActions& files,
          SpawnAttributes& attributes) {
    std::vector<char*> arguments;
    arguments.reserve(argv.size() + 1);
    for (const std::string& argument : argv) {
        arguments.push_back(const_cast<char*>(argument.c_str()));
    }
    arguments.push_back(nullptr);
    const bool searchPath = argv.front().find('/') == std::string::npos;
    return searchPath ? ::posix_spawnp(&pid, arguments[0], files.get(), attributes.get(),
                                       arguments.data(), environ)
                      : ::posix_spawn(&pid, arguments[0], files.get(), attributes.get(),
                                      arguments.data(), environ);
}

} // namespace

PosixProcessRunner::PosixProcessRunner(ErrorOutput errors) : errors_(errors) {}

std::error_code PosixProcessRunner::run(const std::vector<std::string>& argv,
                                        const OutputLineHandler& onLine) {
    if (argv.empty() || argv.front().empty() || holdsNulByte(argv)) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    std::array<int, 2> ends{-1, -1};
    if (::pipe2(ends.data(), O_CLOEXEC) != 0) {
        return lastError();
    }
    UniqueFd readEnd(ends[0]);
    UniqueFd writeEnd(ends[1]);

    FileActions files;
    SpawnAttributes attributes;
    int error = prepareFiles(files, writeEnd.get(), errors_ == ErrorOutput::discard);
    if (error == 0) {
        error = prepareAttributes(attributes);
    }
    pid_t pid = -1;
    if (error == 0) {
        error = spawn(pid, argv, files, attributes);
    }
    if (error != 0) {
        return {error, std::system_category()};
    }
    // Declared before the output so that, whatever happens, the pipe closes before the wait:
    // a child blocked on a full pipe could never end otherwise.
    ChildGuard child(pid);
    UniqueFd output = std::move(readEnd);
    writeEnd.reset(); // only the child writes now, so its end of output is seen
    readLines(output.get(), onLine);
    output.reset();
    child.wait();
    return {};
}

} // namespace quaylet
