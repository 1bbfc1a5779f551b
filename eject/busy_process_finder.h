// BusyProcessFinder: names the processes that keep still-mounted volumes busy.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "eject/busy_process.h"
#include "platform/application_lookup.h"
#include "platform/process_runner.h"
#include "platform/tool_commands.h"
#include "volumes/unmount_failure.h"

namespace quaylet {

/// The tools the finder runs and the desktop's application names.
struct ProcessTools {
    ProcessRunner& runner;
    const ToolCommands& commands;
    const ApplicationLookup& applications;
};

/// Asks the open-files tool which processes have files open on the search paths.
class BusyProcessFinder {
public:
    explicit BusyProcessFinder(ProcessTools tools);

    /// Appends the non-empty mount points of `failures` to the search paths, in order.
    void addFailedVolumes(const std::vector<UnmountFailure>& failures);
    /// Replaces the process ids the query is restricted to.
    void setProcessIds(std::vector<std::uint32_t> processIds);
    /// Replaces the search paths.
    void setSearchPaths(std::vector<std::string> searchPaths);
    /// Empties the process ids, the search paths and the results.
    void clear();

    /// Runs the open-files tool and appends the processes it reports; returns their number
    /// afterwards (unchanged when the tool cannot be started).
    std::uint32_t findBusyProcesses();
    /// Returns the number of processes found.
    std::uint32_t processCount() const;
    /// Replaces the content of `destination` with the processes found; returns their number.
    std::uint32_t copyBusyProcesses(std::vector<BusyProcess>& destination) const;
    /// Returns the display name of process `pid`: its application's name, else `command` (the
    /// command name the open-files tool reported), else the ps tool's where the platform has
    /// one, else "pid N". Never empty.
    std::string processNameForPid(std::int32_t pid, std::string_view command = {}) const;

    const std::vector<std::uint32_t>& processIds() const { return processIds_; }
    const std::vector<std::string>& searchPaths() const { return searchPaths_; }
    const std::vector<BusyProcess>& busyProcesses() const { return busyProcesses_; }

private:
    ProcessTools tools_;
    std::vector<std::uint32_t> processIds_;
    std::vector<std::string> searchPaths_;
    std::vector<BusyProcess> busyProcesses_;
};

} // namespace quaylet
