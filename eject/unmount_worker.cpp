// The unmount worker: runs the disk tool on each planned volume and judges by the mount table.
#include "eject/unmount_worker.h"

#include <array>
#include <cstddef>
#include <string_view>

namespace quaylet {

void unmountAll(UnplugPlan& plan, const UnmountTools& tools) {
    plan.failures.clear();
    if (plan.volumeCount() < 1) {
        return;
    }
    // Innermost images first, so every image goes before the volume holding its file.
    const std::array<const std::vector<VolumeRecord>*, 5> lists{
        &plan.thirdLevelImages, &plan.secondLevelImages, &plan.firstLevelImages, &plan.dockVolumes,
        &plan.externalVolumes};
    std::array<std::size_t, 5> counts{};
    for (std::size_t list = 0; list < lists.size(); ++list) {
        counts[list] = lists[list]->size();
    }
    for (std::size_t list = 0; list < lists.size(); ++list) {
        for (std::size_t index = 0; index < counts[list]; ++index) {
            const VolumeRecord working = (*lists[list])[index];
            std::int32_t status = 0;
            std::string message;
            const bool unmounted = unmountVolume(working, status, message, tools);
            if (!unmounted) {
                plan.failures.push_back(UnmountFailure::fromVolume(working, message, status));
            }
            if (tools.onVolumeDone) {
                tools.onVolumeDone(working, unmounted);
            }
        }
    }
}

bool unmountVolume(const VolumeRecord& volume, std::int32_t& status, std::string& message,
                   const UnmountTools& tools) {
    status = 0;
    message.clear();
    // Judged by the planned device: a file system under or over it at the same path, or an
    // automount trigger left there, is not this volume.
    if (!tools.mounts.isMounted(volume.mountPoint, volume.deviceNumber)) {
        return true; // already gone: no tool run
    }
    // The tool's words and exit status say nothing reliable; only the mount table does.
    tools.runner.run(tools.commands.unmountDisk(volume.mountPoint, volume.deviceNumber),
                     [](std::string_view) {});
    return !tools.mounts.isMounted(volume.mountPoint, volume.deviceNumber);
}

} // namespace quaylet
