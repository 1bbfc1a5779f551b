// OpenFilesParser: turns the open-files tool's field output into BusyProcess records.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "eject/busy_process.h"

namespace quaylet {

/// Names a process by its id and the command name the tool reported for it (empty when it
/// reported none); never returns an empty name.
using ProcessNamer = std::function<std::string(std::int32_t pid, std::string_view command)>;

/// Reads field output ("p" lines start a process, a "c" line gives its command name, "n"
/// lines carry its paths) one whole line at a time, and appends one BusyProcess per process
/// group that has a path other than "/".
class OpenFilesParser {
public:
    /// Makes a parser that appends to `results` and names each group it keeps through `namer`
    /// once the group has ended, when its command name is known.
    OpenFilesParser(std::vector<BusyProcess>& results, ProcessNamer namer);

    /// Parses one whole line, with or without its trailing newline.
    void parseLine(std::string_view line);
    /// Ends the output: appends the last group when it has paths.
    void finish();

private:
    void endGroup();

    std::vector<BusyProcess>& results_;
    ProcessNamer namer_;
    std::optional<BusyProcess> group_; ///< The group being read; none before the first "p".
    std::string command_;              ///< The group's command name; empty until its "c" line.
};

/// Reads a process id the way the C library's atoi reads it (leading blanks, a sign, digits),
/// clamped to the 32-bit range; 0 when no digits follow.
std::int32_t parseProcessId(std::string_view text);

} // namespace quaylet
