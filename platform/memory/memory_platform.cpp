// The in-memory platform assembled from a snapshot.
#include "platform/memory/memory_platform.h"

#include <utility>
#include <vector>

#include "platform/memory/bsd_device_naming.h"
#include "platform/memory/memory_file_manager.h"
#include "platform/memory/memory_mount_table.h"
#include "platform/memory/memory_process_runner.h"
#include "platform/memory/memory_process_signals.h"
#include "platform/memory/snapshot_loader.h"

namespace quaylet {

std::unique_ptr<MemoryRegistry> buildMemoryRegistry(const Snapshot& snapshot) {
    auto registry = std::make_unique<MemoryRegistry>(snapshot.osVersion);
    struct Pending {
        const SnapshotEntry* entry;
        std::optional<MemoryEntryId> parent;
    };
    // Depth first, children in order, so entry ids follow the file's order.
    std::vector<Pending> pending{{&snapshot.registry, std::nullopt}};
    std::vector<MemoryEntryId> registered;
    while (!pending.empty()) {
        const Pending next = pending.back();
        pending.pop_back();
        const SnapshotEntry& entry = *next.entry;
        const MemoryEntryId id = registry->addEntry(
            next.parent,
            MemoryEntrySpec{entry.className, classAncestry(entry.className, snapshot.classes),
                            entry.name, entry.properties});
        if (entry.registered) {
            registered.push_back(id);
        }
        for (auto child = entry.children.rbegin(); child != entry.children.rend(); ++child) {
            pending.push_back({&*child, id});
        }
    }
    for (const MemoryEntryId id : registered) {
        registry->publish(id, false);
    }
    return registry;
}

Platform makeSnapshotPlatform(const Snapshot& snapshot) {
    Platform platform;
    auto mounts = std::make_unique<MemoryMountTable>(snapshot.mounts);
    std::map<std::int32_t, std::string> applications;
    for (const SimulatedProcess& process : snapshot.busyProcesses) {
        if (process.application) {
            applications.emplace(process.pid, *process.application);
        }
    }
    platform.registry = buildMemoryRegistry(snapshot);
    platform.mountMonitor = std::make_unique<MemoryMountMonitor>(*mounts);
    platform.fileManager = std::make_unique<MemoryFileManager>(snapshot.displayNames);
    platform.deviceNaming = std::make_unique<BsdDeviceNaming>();
    platform.processRunner = std::make_unique<MemoryProcessRunner>(*mounts, snapshot.busyProcesses);
    platform.mountPointProbe = std::make_unique<MemoryMountPointProbe>(*mounts);
    platform.applicationLookup = std::make_unique<MemoryApplicationLookup>(std::move(applications));
    platform.storageUsage = std::make_unique<MemoryStorageUsage>();
    // The snapshot's busy processes are no processes of this system: there is nothing to end.
    auto processes =
        std::make_unique<MemoryProcessSignals>(ProcessFacts{}, std::vector<std::int32_t>{});
    platform.applicationBus = std::make_unique<MemoryApplicationBus>(*processes);
    platform.processSignals = std::move(processes);
    platform.volumeFlush = std::make_unique<MemoryVolumeFlush>();
    platform.writebackGauge = std::make_unique<MemoryWritebackGauge>();
    platform.processUses = std::make_unique<MemoryProcessUses>();
    platform.toolCommands = ToolCommands::macOS();
    platform.mountTable = std::move(mounts);
    return platform;
}

std::optional<Platform> loadSnapshotPlatform(const std::string& path, SnapshotError& error) {
    const auto snapshot = loadSnapshot(path, error);
    if (!snapshot) {
        return std::nullopt;
    }
    return makeSnapshotPlatform(*snapshot);
}

} // namespace quaylet
