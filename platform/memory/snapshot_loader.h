// Reading a machine snapshot from its JSON text (format: platform/memory/SNAPSHOT.md).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/memory/snapshot.h"

namespace quaylet {

/// Parses snapshot JSON `text`. Returns nullopt on malformed input and sets `error` to one line
/// naming `sourceName` and the place: line and column for bad JSON, a JSON pointer otherwise.
std::optional<Snapshot> parseSnapshot(std::string_view text, const std::string& sourceName,
                                      std::string& error);

/// Why a snapshot file gave no machine.
struct SnapshotError {
    std::error_code readError; ///< Set when the file could not be read at all.
    std::string problem;       ///< Else where and what is malformed, as parseSnapshot says it.
};

/// Reads and parses the snapshot file at `path`; nullopt with `error` set when it cannot be
/// read or is malformed.
std::optional<Snapshot> loadSnapshot(const std::string& path, SnapshotError& error);

} // namespace quaylet
