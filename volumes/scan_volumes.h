// scanVolumes: fills an unplug plan from the mount table and the registry.
#pragma once

#include <cstdint>

#include "platform/device_naming.h"
#include "platform/file_manager.h"
#include "platform/mount_table.h"
#include "platform/registry.h"
#include "volumes/scan_explanation.h"
#include "volumes/unplug_plan.h"

namespace quaylet {

/// What the scan reads: the registry, the mount table, the file manager's names, and the
/// platform's way from a device path to registry entries.
struct ScanSources {
    Registry& registry;
    const MountTable& mountTable;
    const FileManager& fileManager;
    const DeviceNaming& deviceNaming;
};

/// Clears `plan` and fills it with the volumes behind a dock (and, with `everything`, the other
/// external volumes) and the disk images that depend on them, three levels deep. Sets
/// `bootVolumeFound` when the boot volume is behind a dock (never clears it). Returns the
/// number of planned volumes; 0 when the mount table is unreadable or empty. When
/// `explanation` is given, it is filled with the reason for each planned volume.
std::int32_t scanVolumes(const ScanSources& sources, UnplugPlan& plan, bool everything,
                         bool& bootVolumeFound, ScanExplanation* explanation = nullptr);

} // namespace quaylet
