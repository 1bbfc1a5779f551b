// Flushing the planned volumes concurrently, and ending each flush before its unmount.
#include "eject/early_flush.h"

#include <algorithm>
#include <system_error>

namespace quaylet {

EarlyFlush::EarlyFlush(VolumeFlush& flush, const std::vector<VolumeRecord>& volumes)
    : flush_(flush) {
    planned_.reserve(volumes.size());
    for (const VolumeRecord& volume : volumes) {
        planned_.push_back({volume.mountPoint, volume.deviceNumber,
                            flush_.unmountGroup(volume.deviceNumber), false});
    }
    if (planned_.empty()) {
        return;
    }
    try {
        first_ = std::jthread([this] { flushFrom(0); });
    } catch (const std::system_error&) {
        markOver(0, planned_.size()); // no thread to be had: the data goes out with the unmounts
    }
}

void EarlyFlush::flushFrom(std::size_t index) {
    std::jthread next;
    for (std::size_t following = index + 1; following < planned_.size() && !next.joinable();
         ++following) {
        try {
            next = std::jthread([this, following] { flushFrom(following); });
        } catch (const std::system_error&) {
            markOver(following, following + 1); // left out; the next one is tried
        }
    }
    // A flush that fails changes nothing: the unmount writes the data itself.
    (void)flush_.flushVolume(planned_[index].mountPoint, planned_[index].device);
    markOver(index, index + 1);
}

void EarlyFlush::markOver(std::size_t from, std::size_t to) {
    {
        const std::lock_guard lock(mutex_);
        for (std::size_t i = from; i < to; ++i) {
            planned_[i].over = true;
        }
    }
    over_.notify_all();
}

void EarlyFlush::awaitBeforeUnmount(const VolumeRecord& volume) {
    // The group found when the volume's flush started: a disk stays the disk it is.
    const auto known = std::ranges::find(planned_, volume.deviceNumber, &Planned::device);
    const std::string group =
        known != planned_.end() ? known->group : flush_.unmountGroup(volume.deviceNumber);
    std::unique_lock lock(mutex_);
    over_.wait(lock, [&] {
        return std::ranges::all_of(planned_, [&](const Planned& planned) {
            return planned.over ||
                   !(group.empty() || planned.group.empty() || planned.group == group);
        });
    });
}

} // namespace quaylet
