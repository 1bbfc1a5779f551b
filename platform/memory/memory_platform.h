// Building the in-memory platform (registry, mounts, names, tools) from a machine snapshot.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/memory/snapshot.h"
#include "platform/memory/snapshot_loader.h"
#include "platform/memory_registry.h"
#include "platform/platform.h"

namespace quaylet {

/// Builds a registry holding a snapshot's tree, each entry with its class ancestry; the
/// entries the snapshot marks registered are published.
std::unique_ptr<MemoryRegistry> buildMemoryRegistry(const Snapshot& snapshot);

/// Builds a whole platform over a snapshot: its registry, mount table and monitor, display
/// names, BSD device naming, simulated tools and busy processes, and macOS tool commands.
Platform makeSnapshotPlatform(const Snapshot& snapshot);

/// Loads the snapshot file at `path` and builds its platform; nullopt with `error` set (naming
/// the file and the place) when the file cannot be read or is malformed.
std::optional<Platform> loadSnapshotPlatform(const std::string& path, SnapshotError& error);

} // namespace quaylet
