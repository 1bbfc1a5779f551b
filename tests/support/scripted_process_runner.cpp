// Scripted program runs for unit tests: output cut into whole lines, newline kept.
#include "tests/support/scripted_process_runner.h"

#include <string_view>

namespace quaylet::testing {

std::error_code ScriptedProcessRunner::run(const std::vector<std::string>& argv,
                                           const OutputLineHandler& onLine) {
    runs.push_back(argv);
    const std::optional<std::string> output = script_(argv);
    if (!output) {
        return std::make_error_code(std::errc::no_such_file_or_directory);
    }
    std::string_view rest(*output);
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const std::size_t size = end == std::string_view::npos ? rest.size() : end + 1;
        onLine(rest.substr(0, size));
        rest.remove_prefix(size);
    }
    return {};
}

} // namespace quaylet::testing
