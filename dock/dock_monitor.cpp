// The dock hot-plug monitor: one record per dock sighting, dropped when its service terminates.
#include "dock/dock_monitor.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "dock/dock_identity.h"
#include "dock/property_dump.h"
#include "dock/registry_object.h"
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
    DockCountObserver observer = nullptr;
    void* context = nullptr;
    std::optional<std::string> controllerClass;

    State(Registry& r, DockMonitor* o) : registry(r), owner(o) {}

    ~State() {
        // Not torn down while the program runs; released here so that every reference the
        // monitor took goes back exactly once when an owner does destroy it.
        for (const auto& record : records) {
            registry.release(record->notification);
        }
    }

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
        if (observer != nullptr && context != nullptr) {
            observer(context, records.size());
        }
    }

    void processMatches(RegistryHandle iterator, int depth) {
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
                addRecord(current.get());
            }
        }
    }

    void processPresence(RegistryHandle iterator) {
        while (RegistryObject service{registry, registry.iteratorNext(iterator)}) {
            addRecord(service.get());
        }
    }

    void addRecord(RegistryHandle service) {
        auto record = std::make_unique<DockRecord>();
        record->identity = record.get();
        record->list = owner;
        DockRecord* watched = record.get();
        record->notification = registry.addInterestNotification(
            *port, service,
            [this, watched](RegistryHandle terminated, std::uint32_t messageType,
                            std::uintptr_t argument) {
                recordInterest(watched, terminated, messageType, argument);
            });
        if (record->notification == kNoRegistryObject) {
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
        registry.release(std::exchange((*slot)->notification, kNoRegistryObject));
        records.erase(slot); // frees the record; the rest keep their order
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
                          *port, std::move(controller),
                          [this, depth](RegistryHandle it) { processMatches(it, depth); })};
        hubIterator = RegistryObject{
            registry,
            registry.addMatchingNotification(*port, std::move(hub), [this](RegistryHandle it) {
                processMatches(it, kHubDepth);
            })};
        presenceIterator = RegistryObject{
            registry,
            registry.addMatchingNotification(*port, std::move(presence),
                                             [this](RegistryHandle it) { processPresence(it); })};

        // Draining the iterators records what is already there and arms the notifications.
        processMatches(controllerIterator.get(), depth);
        processMatches(hubIterator.get(), kHubDepth);
        processPresence(presenceIterator.get());
        started = true;
    }
};

DockMonitor::DockMonitor(Registry& registry) : state_(std::make_unique<State>(registry, this)) {}

DockMonitor::~DockMonitor() = default;

void DockMonitor::setDockCountObserver(DockCountObserver observer, void* context) {
    state_->observer = observer;
    state_->context = context;
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

std::uint64_t DockMonitor::dockCount() const {
    return state_->records.size();
}

} // namespace quaylet
