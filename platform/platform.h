// Platform: one machine's set of platform services, as the front ends select it.
#pragma once

#include <memory>

#include "platform/application_bus.h"
#include "platform/application_lookup.h"
#include "platform/device_naming.h"
#include "platform/file_manager.h"
#include "platform/mount_monitor.h"
#include "platform/mount_point_probe.h"
#include "platform/mount_table.h"
#include "platform/power_switch.h"
#include "platform/process_runner.h"
#include "platform/process_signals.h"
#include "platform/process_uses.h"
#include "platform/registry.h"
#include "platform/storage_usage.h"
#include "platform/tool_commands.h"
#include "platform/volume_flush.h"
#include "platform/writeback_gauge.h"

namespace quaylet {

/// Everything the core reaches the system through. A backend builds one whole set: the live
/// Linux system, or a registry snapshot held in memory.
struct Platform {
    std::unique_ptr<Registry> registry;
    std::unique_ptr<MountTable> mountTable;
    std::unique_ptr<MountMonitor> mountMonitor;
    std::unique_ptr<FileManager> fileManager;
    std::unique_ptr<DeviceNaming> deviceNaming;
    std::unique_ptr<ProcessRunner> processRunner;
    std::unique_ptr<MountPointProbe> mountPointProbe;
    std::unique_ptr<ApplicationLookup> applicationLookup;
    std::unique_ptr<StorageUsage> storageUsage;
    std::unique_ptr<ProcessSignals> processSignals;
    std::unique_ptr<ApplicationBus> applicationBus;
    std::unique_ptr<VolumeFlush> volumeFlush;
    std::unique_ptr<WritebackGauge> writebackGauge;
    std::unique_ptr<ProcessUses> processUses;
    std::unique_ptr<PowerSwitch> powerSwitch; ///< Null where nothing can be switched off.
    ToolCommands toolCommands = ToolCommands::macOS();
    /// Whether the open-files tool sees the processes of every user (it runs as root), so that
    /// finding none of them on a busy volume means none is there.
    bool seesEveryProcess = true;
};

} // namespace quaylet
