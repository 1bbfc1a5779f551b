// The in-memory mount table, its change monitor and its mount-point probe.
#include "platform/memory/memory_mount_table.h"

#include <algorithm>
#include <utility>

namespace quaylet {

MemoryMountTable::MemoryMountTable(std::vector<MountEntry> entries)
    : entries_(std::move(entries)) {}

std::vector<MountEntry> MemoryMountTable::entries() const {
    const std::lock_guard lock(mutex_);
    return entries_;
}

void MemoryMountTable::mount(MountEntry entry) {
    const std::lock_guard lock(mutex_);
    entries_.push_back(std::move(entry));
    changedSinceAcknowledged_ = true;
    changed_.signal();
}

std::size_t MemoryMountTable::unmountIf(const std::function<bool(const MountEntry&)>& unmounts) {
    const std::lock_guard lock(mutex_);
    const auto removed = std::erase_if(entries_, unmounts);
    if (removed > 0) {
        changedSinceAcknowledged_ = true;
        changed_.signal();
    }
    return removed;
}

bool MemoryMountTable::acknowledgeChanges() {
    const std::lock_guard lock(mutex_);
    changed_.drain();
    return std::exchange(changedSinceAcknowledged_, false);
}

bool MemoryMountPointProbe::isMounted(const std::string& mountPoint,
                                      std::uint64_t deviceNumber) const {
    const auto entries = table_.entries();
    return std::any_of(entries.begin(), entries.end(), [&](const MountEntry& entry) {
        return entry.mountPoint == mountPoint && entry.fileSystemType != "autofs" &&
               (deviceNumber == 0 || entry.deviceNumber == 0 || entry.deviceNumber == deviceNumber);
    });
}

} // namespace quaylet
