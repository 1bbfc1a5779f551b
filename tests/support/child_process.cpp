// Child processes of tests: started without a shell, killed and reaped when the test ends.
#include "tests/support/child_process.h"

#include <cerrno>
#include <fstream>
#include <iterator>
#include <utility>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quaylet::testing {

std::optional<ChildProcess> ChildProcess::start(const std::vector<std::string>& argv,
                                                const std::string& workingDirectory,
                                                const std::string& outputFile,
                                                const std::string& inputFile) {
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

CapturedRun runCaptured(const std::vector<std::string>& argv, const std::string& scratchDir) {
    CapturedRun run;
    const std::string outputFile = scratchDir + "/captured-output";
    if (auto child = ChildProcess::start(argv, {}, outputFile)) {
        run.status = child->wait();
    }
    std::ifstream file(outputFile);
    run.output.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return run;
}

} // namespace quaylet::testing
