// PosixProcessRunner: runs a program from an argument vector through posix_spawn, never a shell.
#pragma once

#include "platform/process_runner.h"

namespace quaylet {

/// Starts programs with posix_spawn: standard input from /dev/null, standard output through a
/// pipe read as whole lines, SIGCHLD and SIGPIPE at their defaults in the child. Waits for the
/// child even when the caller ignores SIGCHLD.
class PosixProcessRunner : public ProcessRunner {
public:
    /// Where the child's standard error goes.
    enum class ErrorOutput { inherit, discard };

    /// Makes a runner whose children write their error output as `errors` says.
    explicit PosixProcessRunner(ErrorOutput errors = ErrorOutput::inherit);

    /// Runs `argv` (argv[0] a path, or a name looked up in PATH) and hands every line of its
    /// output to `onLine`; returns the error that kept it from starting, or none.
    std::error_code run(const std::vector<std::string>& argv,
                        const OutputLineHandler& onLine) override;

private:
    ErrorOutput errors_;
};

} // namespace quaylet
