// ScriptedProcessRunner: a ProcessRunner for unit tests that answers from a script.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/process_runner.h"

namespace quaylet::testing {

/// Records every run and answers it with the output its script gives for the argument vector
/// (cut into whole lines as a real program's would be), or "could not start" for nullopt.
class ScriptedProcessRunner : public ProcessRunner {
public:
    /// Returns a run's whole standard output, or nullopt when the program cannot start.
    using Script = std::function<std::optional<std::string>(const std::vector<std::string>&)>;

    /// Makes a runner that answers every run from `script`.
    explicit ScriptedProcessRunner(Script script) : script_(std::move(script)) {}

    /// Records `argv` and hands the script's output to `onLine` line by line; returns ENOENT
    /// when the script says the program cannot start.
    std::error_code run(const std::vector<std::string>& argv,
                        const OutputLineHandler& onLine) override;

    /// Every argument vector run so far, in order.
    std::vector<std::vector<std::string>> runs;

private:
    Script script_;
};

} // namespace quaylet::testing
