// DockMonitor: counts dock sightings through registry matching and interest notifications.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <system_error>
#include <vector>

#include "platform/registry.h"
#include "platform/registry_object.h"

namespace quaylet {

/// Told the new number of dock sightings.
using DockCountObserver = std::function<void(std::uint64_t count)>;

class DockMonitor;

/// The matching source through which the monitor sighted a dock.
enum class DockSightingSource {
    Controller, ///< The dock's xHCI controller (its tunnelled bridge carries the dock's IDs).
    Hub,        ///< The dock's USB 3 hub device (likewise, seven levels up).
    Presence,   ///< The dock's presence device.
};

/// One dock sighting: the interest notification that watches its service for termination.
struct DockRecord {
    const DockRecord* identity = nullptr; ///< The record's own address, its key in the list.
    RegistryObject notification;          ///< Released, which cancels it, with the record.
    DockMonitor* list = nullptr;          ///< The monitor whose list owns the record.
    DockSightingSource source = DockSightingSource::Controller; ///< Which source saw it.
};

/// Keeps one record per dock sighting from three sources (the dock's xHCI controller, its
/// USB 3 hub, its presence device) and tells an observer the count after every change.
class DockMonitor {
public:
    explicit DockMonitor(Registry& registry);
    ~DockMonitor();
    DockMonitor(const DockMonitor&) = delete;
    DockMonitor& operator=(const DockMonitor&) = delete;

    /// Stores the observer, called after every change of the count; empty for none.
    void setDockCountObserver(DockCountObserver observer);
    /// Arms the three sources on the first call; returns whether any dock is recorded.
    bool startDockMonitor();
    /// The port whose callbacks must be dispatched on the monitor's thread; null before start.
    NotificationPort* notificationPort() const;
    /// Why docks arriving or leaving cannot be heard of; empty while they can, and before start.
    std::error_code watchFailure() const;
    /// Returns the number of dock sightings.
    std::uint64_t dockCount() const;
    /// Returns the source of each sighting, in the order of the records; empty when none.
    std::vector<DockSightingSource> sightingSources() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace quaylet
