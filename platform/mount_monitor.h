// MountMonitor: notice of file systems being mounted and unmounted.
#pragma once

namespace quaylet {

/// Tells that the mount table has changed. Its descriptor plugs into an event loop.
class MountMonitor {
public:
    virtual ~MountMonitor() = default;
    /// A descriptor that turns readable when the mount table has changed; -1 when there is none.
    virtual int descriptor() const = 0;
    /// Consumes the pending change notices; returns whether the mount table changed.
    virtual bool acknowledgeChanges() = 0;
};

} // namespace quaylet
