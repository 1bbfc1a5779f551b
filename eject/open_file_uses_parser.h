// OpenFileUsesParser: the open-files tool's field output with owners and device numbers, read
// into one ProcessUse per file it reports.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "platform/process_uses.h"

namespace quaylet {

/// Reads field output one whole line at a time: "p" starts a process, "c" and "u" give its
/// command name and owner's uid, "f" starts a file, "D" gives the file's device number (hex,
/// "0x803"), and each "n" line ends the file with its name. Lines before the first "p" and of
/// other fields are skipped.
class OpenFileUsesParser {
public:
    /// Parses one whole line, with or without its trailing newline.
    void parseLine(std::string_view line);
    /// Returns the uses read so far, in the tool's order.
    const std::vector<ProcessUse>& uses() const { return uses_; }

private:
    std::vector<ProcessUse> uses_;
    std::optional<ProcessUse> process_; ///< The process being read, its file fields current.
};

} // namespace quaylet
