// ProcessRunner: starts a program from an argument vector and reads its output line by line.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace quaylet {

/// Receives one whole line of a program's standard output, with its newline when it had one.
using OutputLineHandler = std::function<void(std::string_view line)>;

/// Runs external programs without a shell: every argument reaches the program unaltered.
class ProcessRunner {
public:
    virtual ~ProcessRunner() = default;
    /// Starts `argv[0]` with `argv`, hands each line of its standard output to `onLine`, and
    /// waits for the program to end. Returns an error only when it could not be started; the
    /// program's exit status is not reported.
    virtual std::error_code run(const std::vector<std::string>& argv,
                                const OutputLineHandler& onLine) = 0;
};

} // namespace quaylet
