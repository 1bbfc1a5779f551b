// Running a tool from an argument vector and collecting its whole standard output.
#include "app/command_runner.h"

#include "platform/linux/posix_process_runner.h"

namespace quaylet {

std::string runShellCommand(const std::vector<std::string>& argv) {
    if (argv.empty()) {
        return {};
    }
    std::string output;
    // The runner hands over whole lines with their newlines and keeps zero bytes, so joining
    // them gives the output unchanged. The tool's complaints go to our standard error.
    PosixProcessRunner runner;
    runner.run(argv, [&output](std::string_view line) { output.append(line); });
    return output;
}

bool openSecurityPreferences(const std::vector<std::string>& command) {
    return !command.empty() && runShellCommand(command).empty();
}

} // namespace quaylet
