// The dock hot-plug monitor: one record per dock sighting, dropped when its service terminates.
#include "dock/dock_monitor.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "dock/dock_identity.h"
#include "dock/property_dump.h"
#include "dock/registry_readers.h"

namespace quaylet {
namespace {

/// The dump of every entry the controller and hub sources look at is diagnostics for people
/// bringing up a new dock; it is written only when this variable is set to 1.
constexpr const char* kDumpVariable = "QUAYLET_REGISTRY_DUMP";

/// The dock's USB 3 hub device sits seven levels below its tunnelled upstream bridge.
constexpr int kHubDepth = 7;

bool dumpRequested() {
    const char* value = std::getenv(kDumpVariable);
    return value != nullptr && value[0] == '1' && value[1] == '\0';
}

MatchingDictionary usbDeviceMatching(UsbIdPair ids) {
    MatchingDictionary matching = serviceMatching("IOUSBHostDevice");
    // The IDs go in as signed 32-bit numbers, the way the registry's own properties hold them.
    matching.properties.emplace("idVendor", static_cast<std::int32_t>(ids.vendor));
    matching.properties.emplace("idProduct", static_cast<std::int32_t>(ids.product));
    return matching;
}

} // namespace

struct DockMonitor::State {
    Registry& registry;
    DockMonitor* owner;
    bool started = false;
    bool dump = dumpRequested();
    std::unique_ptr<NotificationPort> port;
    RegistryObject controllerIterator;
    RegistryObject hubIterator;
    RegistryObject presenceIterator;
    std::vector<std::unique_ptr<DockRecord>> records;
    DockCountObserver observer;
    std::optional<std::string> controllerClass;

    State(Registry& r, DockMonitor* o) : registry(r), owner(o) {}

    bool controllerSourceIsCurrent() { return isOperatingSystemAtLeast(registry, 11); }

    const std::string& controllerClassName() {
        if (!controllerClass) {
            controllerClass = controllerSourceIsCurrent() ? "AppleUSBXHCIFL1100" : "AppleUSBXHCI";
        }
        return *controllerClass;
    }

    int controllerDepth() { return controllerSourceIsCurrent() ? 5 : 0; }

    void dumpProperties(RegistryHandle entry) {
        if (!dump) {
            return;
        }
        if (const auto properties = registry.properties(entry)) {
            std::fputs(describeProperties(*properties).c_str(), stderr);
        }
    }

    void notifyObserver() {
        if (observer) {
            observer(records.size());
        }
    }

    void processMatches(RegistryHandle iterator, int depth, DockSightingSource source) {
        while (RegistryObject service{registry, registry.iteratorNext(iterator)}) {
            dumpProperties(service.get());
            RegistryObject current = std::move(service);
            // A failed parent request leaves the current entry but still uses up one level.
            for (int level = 0; level < depth; ++level) {
                RegistryObject parent{registry, registry.parentEntry(current.get())};
                if (parent) {
                    current = std::move(parent);
                    dumpProperties(current.get());
                }
            }
            const std::int64_t vendor = readRegistryNumber(
                registry.property(current.get(), "Tunnel Endpoint Device Vendor ID"));
            const std::int64_t model = readRegistryNumber(
                registry.property(current.get(), "Tunnel Endpoint Device Model ID"));
            if (isDockTunnelId(vendor, model)) {
                addRecord(current.get(), source);
            }
        }
    }

    void processPresence(RegistryHandle iterator) {
        while (RegistryObject service{registry, registry.iteratorNext(iterator)}) {
            addRecord(service.get(), DockSightingSource::Presence);
        }
    }

    void addRecord(RegistryHandle service, DockSightingSource source) {
        auto record = std::make_unique<DockRecord>();
        record->identity = record.get();
        record->list = owner;
        record->source = source;
        DockRecord* watched = record.get();
        record->notification = RegistryObject{
            registry, registry.addInterestNotification(
                          *port, service,
                          [this, watched](RegistryHandle terminated, std::uint32_t messageType,
                                          std::uintptr_t argument) {
                              recordInterest(watched, terminated, messageType, argument);
                          })};
        if (!record->notification) {
            return; // a sighting that cannot be watched is not counted
        }
        records.push_back(std::move(record));
        notifyObserver();
    }

    void recordInterest(DockRecord* record, RegistryHandle, std::uint32_t messageType,
                        std::uintptr_t) {
        if (record == nullptr || messageType != kMessageServiceIsTerminated ||
            record->list == nullptr) {
            return;
        }
        const auto slot = std::find_if(records.begin(), records.end(), [&](const auto& entry) {
            return entry->identity == record->identity;
        });
        if (slot == records.end()) {
            return;
        }
        records.erase(slot); // releases its notification; the rest keep their order
        notifyObserver();
    }

    void start() {
        MatchingDictionary controller = serviceMatching(controllerClassName());
        const int depth = controllerDepth();
        MatchingDictionary hub = usbDeviceMatching(kDockUsb3HubIds[1]);
        MatchingDictionary presence = usbDeviceMatching(kDockPresenceDeviceId);

        port = registry.createNotificationPort();
        controllerIterator = RegistryObject{
            registry, registry.addMatchingNotification(
                          *port, std::move(controller), [this, depth](RegistryHandle it) {
                              processMatches(it, depth, DockSightingSource::Controller);
                          })};
        hubIterator = RegistryObject{
            registry,
            registry.addMatchingNotification(*port, std::move(hub), [this](RegistryHandle it) {
                processMatches(it, kHubDepth, DockSightingSource::Hub);
            })};
        presenceIterator = RegistryObject{
            registry,
            registry.addMatchingNotification(*port, std::move(presence),
                                             [this](RegistryHandle it) { processPresence(it); })};

        // Draining the iterators records what is already there and arms the notifications.
        processMatches(controllerIterator.get(), depth, DockSightingSource::Controller);
        processMatches(hubIterator.get(), kHubDepth, DockSightingSource::Hub);
        processPresence(presenceIterator.get());
        started = true;
    }
};

DockMonitor::DockMonitor(Registry& registry) : state_(std::make_unique<State>(registry, this)) {}

DockMonitor::~DockMonitor() = default;

void DockMonitor::setDockCountObserver(DockCountObserver observer) {
    state_->observer = std::move(observer);
}

bool DockMonitor::startDockMonitor() {
    if (!state_->started) {
        state_->start();
    }
    return !state_->records.empty();
}

NotificationPort* DockMonitor::notificationPort() const {
    return state_->port.get();
}

std::error_code DockMonitor::watchFailure() const {
    return state_->port ? state_->port->failure() : std::error_code();
}

std::uint64_t DockMonitor::dockCount() const {
    return state_->records.size();
}

std::vector<DockSightingSource> DockMonitor::sightingSources() const {
    std::vector<DockSightingSource> sources;
    sources.reserve(state_->records.size());
    for (const auto& record : state_->records) {
        sources.push_back(record->source);
    }
    return sources;
}

} // namespace quaylet
