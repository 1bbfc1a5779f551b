// Reading a machine snapshot from its JSON text (format: platform/memory/SNAPSHOT.md).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/memory/snapshot.h"

namespace quaylet {

/// Parses snapshot JSON `text`. Returns nullopt on malformed input and sets `error` to one line
/// naming `sourceName` and the place: line and column for bad JSON, a JSON pointer otherwise.
std::optional<Snapshot> parseSnapshot(std::string_view text, const std::string& sourceName,
                                      std::string& error);

/// Reads and parses the snapshot file at `path`; nullopt with `error` set when it cannot be
/// read or is malformed.
std::optional<Snapshot> loadSnapshot(const std::string& path, std::string& error);

} // namespace quaylet
