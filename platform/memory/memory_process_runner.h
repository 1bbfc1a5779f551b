// MemoryProcessRunner: the disk, open-files and process-name tools, simulated over memory.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/memory/memory_mount_table.h"
#include "platform/memory/snapshot.h"
#include "platform/process_runner.h"

namespace quaylet {

/// Answers the tool commands of ToolCommands (either platform's) from a MemoryMountTable,
/// which must outlive it, and a list of simulated busy processes:
/// - "diskutil unmountDisk MOUNTPOINT" removes every mount of the same whole disk, unless a
///   busy process holds a file on one of them;
/// - "lsof -Fn [-p IDS] PATHS" reports the busy processes with files on those paths, and
///   "lsof -Fcn ..." their names too;
/// - "ps -p PID ..." prints a header line and the process's name.
/// Any other program cannot be started.
class MemoryProcessRunner final : public ProcessRunner {
public:
    MemoryProcessRunner(MemoryMountTable& mounts, std::vector<SimulatedProcess> processes);

    std::error_code run(const std::vector<std::string>& argv,
                        const OutputLineHandler& onLine) override;

    /// Returns every command run so far, in order.
    std::vector<std::vector<std::string>> commands() const;

private:
    void unmountDisk(const std::vector<std::string>& argv, const OutputLineHandler& onLine);
    void listOpenFiles(const std::vector<std::string>& argv, const OutputLineHandler& onLine) const;
    void processName(const std::vector<std::string>& argv, const OutputLineHandler& onLine) const;

    MemoryMountTable& mounts_;
    const std::vector<SimulatedProcess> processes_;
    mutable std::mutex mutex_;
    std::vector<std::vector<std::string>> commands_;
};

} // namespace quaylet
