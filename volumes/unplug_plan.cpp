// The unplug plan's own operations; filling it is the scan's job, working it the worker's.
#include "volumes/unplug_plan.h"

#include <utility>

namespace quaylet {

UnmountFailure UnmountFailure::fromVolume(const VolumeRecord& volume, std::string message,
                                          std::int32_t status) {
    return UnmountFailure{volume.devicePath, volume.mountPoint,  volume.displayName,
                          volume.imagePath,  std::move(message), status};
}

void UnplugPlan::clear() {
    dockVolumes.clear();
    externalVolumes.clear();
    firstLevelImages.clear();
    secondLevelImages.clear();
    thirdLevelImages.clear();
    failures.clear();
}

std::int32_t UnplugPlan::volumeCount() const {
    const std::size_t total = dockVolumes.size() + externalVolumes.size() +
                              firstLevelImages.size() + secondLevelImages.size() +
                              thirdLevelImages.size();
    return static_cast<std::int32_t>(total);
}

std::int32_t UnplugPlan::copyFailures(std::vector<UnmountFailure>& destination) const {
    if (&destination != &failures) {
        destination = failures;
    }
    return static_cast<std::int32_t>(failures.size());
}

} // namespace quaylet
