// libFuzzer target: the open-files field parser on arbitrary output, fed as whole lines.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "eject/open_files_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<quaylet::BusyProcess> results;
    quaylet::OpenFilesParser parser(results, [](std::int32_t pid, std::string_view command) {
        return command.empty() ? "pid " + std::to_string(pid) : std::string(command);
    });
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    std::size_t processLines = 0;
    std::size_t nameLines = 0;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const std::size_t length = end == std::string_view::npos ? rest.size() : end + 1;
        const std::string_view line = rest.substr(0, length);
        processLines += line.front() == 'p' ? 1 : 0;
        nameLines += line.front() == 'n' ? 1 : 0;
        parser.parseLine(line);
        rest.remove_prefix(length);
    }
    parser.finish();

    // Every record has a name and paths, none of them "/", and no more than the output holds.
    std::size_t paths = 0;
    for (const quaylet::BusyProcess& process : results) {
        if (process.name.empty() || process.openPaths.empty()) {
            __builtin_trap();
        }
        for (const std::string& path : process.openPaths) {
            if (path == "/" || path.find('\n') != std::string::npos) {
                __builtin_trap();
            }
        }
        paths += process.openPaths.size();
    }
    if (results.size() > processLines || paths > nameLines) {
        __builtin_trap();
    }
    return 0;
}
