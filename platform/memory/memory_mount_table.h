// MemoryMountTable: a mount table held in memory, which the simulated tools can change.
#pragma once

#include <functional>
#include <mutex>
#include <vector>

#include "platform/mount_monitor.h"
#include "platform/mount_point_probe.h"
#include "platform/mount_table.h"
#include "platform/wake_pipe.h"

namespace quaylet {

/// A mount table in memory. Thread-safe: the unmount worker changes it from its own thread.
class MemoryMountTable final : public MountTable {
public:
    explicit MemoryMountTable(std::vector<MountEntry> entries = {});

    std::vector<MountEntry> entries() const override;
    /// Appends a mounted file system at the end of the table.
    void mount(MountEntry entry);
    /// Removes every entry for which `unmounts` is true; returns how many went.
    std::size_t unmountIf(const std::function<bool(const MountEntry&)>& unmounts);
    /// A descriptor that turns readable after every change; -1 when there is none.
    int changeDescriptor() const { return changed_.descriptor(); }
    /// Clears the change signal; returns whether the table changed since the last call.
    bool acknowledgeChanges();

private:
    mutable std::mutex mutex_;
    std::vector<MountEntry> entries_;
    bool changedSinceAcknowledged_ = false;
    WakePipe changed_;
};

/// Tells of changes to a MemoryMountTable, which must outlive it.
class MemoryMountMonitor final : public MountMonitor {
public:
    explicit MemoryMountMonitor(MemoryMountTable& table) : table_(table) {}
    int descriptor() const override { return table_.changeDescriptor(); }
    bool acknowledgeChanges() override { return table_.acknowledgeChanges(); }

private:
    MemoryMountTable& table_;
};

/// Judges a mount point mounted while a MemoryMountTable, which must outlive it, lists it with
/// the planned device (when the entry and the question both name one).
class MemoryMountPointProbe final : public MountPointProbe {
public:
    explicit MemoryMountPointProbe(const MemoryMountTable& table) : table_(table) {}
    bool isMounted(const std::string& mountPoint, std::uint64_t deviceNumber) const override;

private:
    const MemoryMountTable& table_;
};

} // namespace quaylet
