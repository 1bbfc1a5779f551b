// MonitorCommand: a line per dock-count change and per volume mount or unmount, as they happen.
#pragma once

#include <ostream>
#include <system_error>
#include <vector>

#include "dock/dock_monitor.h"
#include "platform/platform.h"

namespace quaylet {

/// Watches the platform's registry notifications and mount monitor, and writes one line for
/// each change of the dock count and for each file system mounted or unmounted.
class MonitorCommand {
public:
    /// A monitor of `platform` writing to `out`; both must outlive it.
    MonitorCommand(Platform& platform, std::ostream& out);
    ~MonitorCommand();
    MonitorCommand(const MonitorCommand&) = delete;
    MonitorCommand& operator=(const MonitorCommand&) = delete;

    /// Starts the dock monitor, reads the mount table, and writes the dock count.
    void start();
    /// Waits, without a time limit, until the registry or the mount table reports a change or
    /// `stopDescriptor` turns readable, and handles every change waiting. Returns false once
    /// `stopDescriptor` is readable, or when nothing can be waited for.
    bool waitAndDispatch(int stopDescriptor);
    /// Why docks arriving or leaving cannot be watched; empty while they can.
    std::error_code watchFailure() const;

private:
    void reportMountChanges();

    Platform& platform_;
    std::ostream& out_;
    DockMonitor docks_;
    std::vector<MountEntry> mounts_;
};

} // namespace quaylet
