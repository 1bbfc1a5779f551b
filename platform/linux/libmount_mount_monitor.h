// LibmountMountMonitor: notice of mounts and unmounts through libmount's monitor.
#pragma once

#include <memory>
#include <system_error>

#include "platform/mount_monitor.h"

struct libmnt_monitor;

namespace quaylet {

/// Watches the kernel's mount table of this mount namespace and libmount's userspace table
/// (the options mount(8) keeps), through one descriptor for an event loop.
class LibmountMountMonitor final : public MountMonitor {
public:
    /// Opens the monitor; nullptr with `error` set when neither table can be watched.
    static std::unique_ptr<LibmountMountMonitor> open(std::error_code& error);

    ~LibmountMountMonitor() override;
    LibmountMountMonitor(const LibmountMountMonitor&) = delete;
    LibmountMountMonitor& operator=(const LibmountMountMonitor&) = delete;

    /// The monitor's descriptor; readable when a table has changed.
    int descriptor() const override;
    /// Consumes the waiting change notices without blocking; returns whether there were any.
    bool acknowledgeChanges() override;

private:
    struct MonitorUnref {
        void operator()(libmnt_monitor* monitor) const;
    };

    LibmountMountMonitor(std::unique_ptr<libmnt_monitor, MonitorUnref> monitor, int descriptor);

    std::unique_ptr<libmnt_monitor, MonitorUnref> monitor_;
    int descriptor_;
};

} // namespace quaylet
