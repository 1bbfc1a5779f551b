// The busy-process finder: runs the open-files tool on the search paths and names each process.
#include "eject/busy_process_finder.h"

#include <utility>

#include "eject/open_files_parser.h"

namespace quaylet {
namespace {

/// Runs the ps tool; returns the second line it prints (the first is a header) without its
/// newline, or an empty text.
std::string nameFromPs(ProcessRunner& runner, const std::vector<std::string>& argv) {
    std::string name;
    int lineNumber = 0;
    runner.run(argv, [&](std::string_view line) {
        if (++lineNumber == 2) {
            if (!line.empty() && line.back() == '\n') {
                line.remove_suffix(1);
            }
            name = line;
        }
    });
    return name;
}

} // namespace

BusyProcessFinder::BusyProcessFinder(ProcessTools tools) : tools_(tools) {}

void BusyProcessFinder::addFailedVolumes(const std::vector<UnmountFailure>& failures) {
    for (const UnmountFailure& failure : failures) {
        if (!failure.mountPoint.empty()) {
            searchPaths_.push_back(failure.mountPoint);
        }
    }
}

void BusyProcessFinder::setProcessIds(std::vector<std::uint32_t> processIds) {
    processIds_ = std::move(processIds);
}

void BusyProcessFinder::setSearchPaths(std::vector<std::string> searchPaths) {
    searchPaths_ = std::move(searchPaths);
}

void BusyProcessFinder::clear() {
    processIds_.clear();
    searchPaths_.clear();
    busyProcesses_.clear();
}

std::uint32_t BusyProcessFinder::findBusyProcesses() {
    OpenFilesParser parser(busyProcesses_, [this](std::int32_t pid, std::string_view command) {
        return processNameForPid(pid, command);
    });
    const std::error_code error =
        tools_.runner.run(tools_.commands.listOpenFiles(processIds_, searchPaths_),
                          [&parser](std::string_view line) { parser.parseLine(line); });
    if (!error) {
        parser.finish();
    }
    return processCount();
}

std::uint32_t BusyProcessFinder::processCount() const {
    return static_cast<std::uint32_t>(busyProcesses_.size());
}

std::uint32_t BusyProcessFinder::copyBusyProcesses(std::vector<BusyProcess>& destination) const {
    if (&destination != &busyProcesses_) {
        destination = busyProcesses_;
    }
    return processCount();
}

std::string BusyProcessFinder::processNameForPid(std::int32_t pid, std::string_view command) const {
    if (std::optional<std::string> name = tools_.applications.applicationName(pid);
        name && !name->empty()) {
        return std::move(*name);
    }
    if (!command.empty()) {
        return std::string(command);
    }
    if (const auto psCommand = tools_.commands.processName(pid)) {
        if (std::string name = nameFromPs(tools_.runner, *psCommand); !name.empty()) {
            return name;
        }
    }
    return "pid " + std::to_string(pid);
}

} // namespace quaylet
