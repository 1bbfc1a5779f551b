// LibmountMountMonitor: notice of mounts and unmounts through libmount's monitor.
#include "platform/linux/libmount_mount_monitor.h"

#include <libmount/libmount.h>

namespace quaylet {

void LibmountMountMonitor::MonitorUnref::operator()(libmnt_monitor* monitor) const {
    mnt_unref_monitor(monitor);
}

std::unique_ptr<LibmountMountMonitor> LibmountMountMonitor::open(std::error_code& error) {
    std::unique_ptr<libmnt_monitor, MonitorUnref> monitor(mnt_new_monitor());
    if (!monitor) {
        error = std::make_error_code(std::errc::not_enough_memory);
        return nullptr;
    }
    // Either table alone still tells of changes; only both failing is an error.
    const int kernel = mnt_monitor_enable_kernel(monitor.get(), 1);
    const int userspace = mnt_monitor_enable_userspace(monitor.get(), 1, nullptr);
    if (kernel < 0 && userspace < 0) {
        error = std::error_code(-kernel, std::generic_category());
        return nullptr;
    }
    const int descriptor = mnt_monitor_get_fd(monitor.get());
    if (descriptor < 0) {
        error = std::error_code(-descriptor, std::generic_category());
        return nullptr;
    }
    error.clear();
    return std::unique_ptr<LibmountMountMonitor>(
        new LibmountMountMonitor(std::move(monitor), descriptor));
}

LibmountMountMonitor::LibmountMountMonitor(std::unique_ptr<libmnt_monitor, MonitorUnref> monitor,
                                           int descriptor)
    : monitor_(std::move(monitor)), descriptor_(descriptor) {}

LibmountMountMonitor::~LibmountMountMonitor() = default;

int LibmountMountMonitor::descriptor() const {
    return descriptor_;
}

bool LibmountMountMonitor::acknowledgeChanges() {
    bool changed = false;
    const char* file = nullptr;
    int type = 0;
    // Returns 0 for each waiting change and 1 once none waits; it never blocks.
    while (mnt_monitor_next_change(monitor_.get(), &file, &type) == 0) {
        changed = true;
    }
    return changed;
}

} // namespace quaylet
