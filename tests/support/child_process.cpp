// Child processes of tests: started without a shell, killed and reaped when the test ends.
#include "tests/support/child_process.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quaylet::testing {

std::optional<ChildProcess> ChildProcess::start(const std::vector<std::string>& argv,
                                                const std::string& workingDirectory,
                                                const std::string& outputFile,
                                                const std::string& inputFile,
                                                const std::string& errorFile) {
    posix_spawn_file_actions_t files;
    ::posix_spawn_file_actions_init(&files);
    if (!workingDirectory.empty()) {
        ::posix_spawn_file_actions_addchdir_np(&files, workingDirectory.c_str());
    }
    if (!outputFile.empty()) {
        ::posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, outputFile.c_str(),
                                           O_WRONLY | O_CREAT | O_TRUNC, 0600);
    }
    if (!inputFile.empty()) {
        ::posix_spawn_file_actions_addopen(&files, STDIN_FILENO, inputFile.c_str(), O_RDONLY, 0);
    }
    if (!errorFile.empty()) {
        ::posix_spawn_file_actions_addopen(&files, STDERR_FILENO, errorFile.c_str(),
                                           O_WRONLY | O_CREAT | O_TRUNC, 0600);
    }
    std::vector<char*> arguments;
    for (const std::string& argument : argv) {
        arguments.push_back(const_cast<char*>(argument.c_str()));
    }
    arguments.push_back(nullptr);
    pid_t pid = -1;
    const int error = ::posix_spawn(&pid, arguments[0], &files, nullptr, arguments.data(), environ);
    ::posix_spawn_file_actions_destroy(&files);
    if (error != 0) {
        return std::nullopt;
    }
    return ChildProcess(pid);
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept : pid_(std::exchange(other.pid_, -1)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        end();
        pid_ = std::exchange(other.pid_, -1);
    }
    return *this;
}

ChildProcess::~ChildProcess() {
    end();
}

void ChildProcess::end() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        wait();
    }
}

int ChildProcess::wait() {
    if (pid_ <= 0) {
        return -1;
    }
    int status = 0;
    pid_t result = -1;
    do {
        result = ::waitpid(pid_, &status, 0);
    } while (result < 0 && errno == EINTR);
    pid_ = -1;
    if (result < 0) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::optional<int> ChildProcess::waitFor(std::chrono::milliseconds bound) {
    const int pidfd = pid_ > 0 ? static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0)) : -1;
    if (pidfd < 0) {
        return wait(); // no such child (-1), or no pidfds: wait without a bound
    }
    pollfd ready{pidfd, POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + bound;
    int polled = 0;
    do {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        polled = ::poll(&ready, 1, static_cast<int>(std::max<long>(left.count(), 0)));
    } while (polled < 0 && errno == EINTR);
    ::close(pidfd);
    if (polled <= 0) {
        return std::nullopt;
    }
    return wait();
}

CapturedRun runCaptured(const std::vector<std::string>& argv, const std::string& scratchDir) {
    CapturedRun run;
    const std::string outputFile = scratchDir + "/captured-output";
    const std::string errorFile = scratchDir + "/captured-errors";
    if (auto child = ChildProcess::start(argv, {}, outputFile, {}, errorFile)) {
        run.status = child->wait();
    }
    const auto contents = [](const std::string& path) {
        std::ifstream file(path);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    };
    run.output = contents(outputFile);
    run.errors = contents(errorFile);
    return run;
}

} // namespace quaylet::testing
