// Snapshot: one machine as a snapshot file describes it (registry, mounts, names, processes).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/class_ancestry.h"
#include "platform/mount_table.h"
#include "platform/property_value.h"
#include "platform/registry.h"

namespace quaylet {

/// One registry entry of a snapshot with the entries below it, in registry order.
struct SnapshotEntry {
    std::string className;
    std::string name;
    PropertyDictionary properties;
    bool registered = true;
    std::vector<SnapshotEntry> children;
};

/// A process that keeps files open, for the simulated open-files and process-name tools.
struct SimulatedProcess {
    std::int32_t pid = 0;
    std::string name;                       ///< Executable name, as ps reports it.
    std::optional<std::string> application; ///< Desktop application name, when it is one.
    std::vector<std::string> openPaths;     ///< Files it holds open.
};

/// Everything a snapshot file says about one machine.
struct Snapshot {
    std::string machine;                             ///< Free description of the machine.
    OperatingSystemVersion osVersion;                ///< Version the registry reports.
    ClassTable classes;                              ///< Superclasses the file declares.
    SnapshotEntry registry;                          ///< The registry's root entry.
    std::vector<MountEntry> mounts;                  ///< Mount table, in table order.
    std::map<std::string, std::string> displayNames; ///< File manager's names by path.
    std::vector<SimulatedProcess> busyProcesses;     ///< Processes with files open.
};

} // namespace quaylet
