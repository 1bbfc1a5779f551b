// Flushing the planned volumes concurrently, and ending each flush before its unmount.
#include "eject/early_flush.h"

#include <algorithm>
#include <system_error>

namespace quaylet {

EarlyFlush::EarlyFlush(VolumeFlush& flush, const std::vector<VolumeRecord>& volumes)
    : flush_(flush) {
    started_.reserve(volumes.size());
    for (const VolumeRecord& volume : volumes) {
        try {
            started_.push_back(
                {volume.deviceNumber, flush_.unmountGroup(volume.deviceNumber),
                 std::jthread([this, mountPoint = volume.mountPoint, device = volume.deviceNumber] {
                     // A flush that fails changes nothing: the unmount writes the data itself.
                     (void)flush_.flushVolume(mountPoint, device);
                 })});
        } catch (const std::system_error&) {
            // No thread to be had: this volume's data goes out with its unmount.
        }
    }
}

void EarlyFlush::awaitBeforeUnmount(const VolumeRecord& volume) {
    // The group found when the volume's flush started: a disk stays the disk it is.
    const auto known = std::ranges::find(started_, volume.deviceNumber, &Started::device);
    const std::string group =
        known != started_.end() ? known->group : flush_.unmountGroup(volume.deviceNumber);
    for (Started& started : started_) {
        if (started.thread.joinable() &&
            (group.empty() || started.group.empty() || started.group == group)) {
            started.thread.join();
        }
    }
}

} // namespace quaylet
