// Registry: the device registry the dock detection and the volume scan read, and its notifications.
#pragma once

#include <compare>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/property_value.h"

namespace quaylet {

/// A reference to a registry object (entry, iterator or notification); 0 means none. Every
/// handle a Registry hands out is owned by the caller and released exactly once.
using RegistryHandle = std::uint32_t;
inline constexpr RegistryHandle kNoRegistryObject = 0;

/// Interest message type saying that the watched service is going away.
inline constexpr std::uint32_t kMessageServiceIsTerminated = 0xE0000010;

/// Selects services that conform to a class and whose properties equal the given values.
struct MatchingDictionary {
    std::string className;
    PropertyDictionary properties;
};

/// Returns a matching dictionary for every service that conforms to `className`.
inline MatchingDictionary serviceMatching(std::string className) {
    return MatchingDictionary{std::move(className), {}};
}

/// Version of the operating system a registry describes.
struct OperatingSystemVersion {
    std::int32_t major = 0;
    std::int32_t minor = 0;
    std::int32_t patch = 0;
    friend auto operator<=>(const OperatingSystemVersion&, const OperatingSystemVersion&) = default;
};

/// Called with the notification's iterator when further matching services have appeared.
using MatchingCallback = std::function<void(RegistryHandle iterator)>;
/// Called with a message about a watched service (type and argument as the registry sends them).
using InterestCallback =
    std::function<void(RegistryHandle service, std::uint32_t messageType, std::uintptr_t argument)>;

/// Delivers a registry's notification callbacks on the thread that dispatches it.
class NotificationPort {
public:
    virtual ~NotificationPort() = default;
    /// A descriptor that turns readable while callbacks wait to run; -1 when the port has none.
    virtual int descriptor() const = 0;
    /// Runs the callbacks that are waiting, on the calling thread.
    virtual void dispatchPending() = 0;
    /// Why the port cannot hear of services appearing or going away; empty while it can.
    virtual std::error_code failure() const { return {}; }
};

/// A tree of services in one plane ("IOService"), each with a class, its base classes and a
/// property table. Reads may come from any thread; callbacks run only where their port is
/// dispatched. Failures read as empty answers (0, nullopt, false).
class Registry {
public:
    virtual ~Registry() = default;

    /// Returns the parent entry of `entry`, or 0 at the root, for entry 0 and on error.
    virtual RegistryHandle parentEntry(RegistryHandle entry) = 0;
    /// Returns an iterator over the children of `entry` in registry order; 0 for entry 0.
    virtual RegistryHandle childIterator(RegistryHandle entry) = 0;
    /// Returns the next object of `iterator`, or 0 at its end.
    virtual RegistryHandle iteratorNext(RegistryHandle iterator) = 0;
    /// Returns whether `object`'s class is `className` or derives from it; false for 0.
    virtual bool conformsTo(RegistryHandle object, std::string_view className) = 0;
    /// Returns the object's own class name; empty for 0 or an unknown handle.
    virtual std::string className(RegistryHandle object) = 0;
    /// Drops the caller's reference `object`. Releasing 0 does nothing.
    virtual void release(RegistryHandle object) = 0;

    /// Returns one property of `entry`, or nullopt when it has no such property.
    virtual std::optional<PropertyValue> property(RegistryHandle entry, std::string_view key) = 0;
    /// Returns the whole property table of `entry`, or nullopt for an unknown entry.
    virtual std::optional<PropertyDictionary> properties(RegistryHandle entry) = 0;

    /// Returns an iterator over the services that match now; 0 when none match.
    virtual RegistryHandle matchingServices(MatchingDictionary matching) = 0;
    /// Returns the one service published for a BSD (kernel) device name, or 0.
    virtual RegistryHandle serviceForBsdName(std::string_view bsdName) = 0;
    /// Returns serviceForBsdName of each of `bsdNames`, in their order, all from the registry
    /// as it stands at one moment.
    virtual std::vector<RegistryHandle>
    servicesForBsdNames(const std::vector<std::string>& bsdNames) {
        std::vector<RegistryHandle> services;
        services.reserve(bsdNames.size());
        for (const std::string& name : bsdNames) {
            services.push_back(serviceForBsdName(name));
        }
        return services;
    }

    /// From here to the matching endLookups(), lookups made on this thread may answer from the
    /// services as the first of them found them, so that a scan asking many questions looks
    /// for device changes once. Pairs nest; other threads are not affected. RegistryLookups
    /// pairs them.
    virtual void beginLookups() {}
    virtual void endLookups() {}

    /// Creates a port through which this registry's notification callbacks are delivered.
    virtual std::unique_ptr<NotificationPort> createNotificationPort() = 0;
    /// Arms a notification for services that match. The returned iterator first yields the
    /// services that match already; once it has been read to its end, `callback` runs with it
    /// whenever further services appear. Returns 0 on failure.
    virtual RegistryHandle addMatchingNotification(NotificationPort& port,
                                                   MatchingDictionary matching,
                                                   MatchingCallback callback) = 0;
    /// Arms a notification for messages about `service`; releasing the returned handle cancels
    /// it. Returns 0 on failure.
    virtual RegistryHandle addInterestNotification(NotificationPort& port, RegistryHandle service,
                                                   InterestCallback callback) = 0;

    /// Returns the version of the operating system this registry describes.
    virtual OperatingSystemVersion operatingSystemVersion() const = 0;
};

/// Holds a registry's lookups on this thread to one look at the devices while it lives.
class RegistryLookups {
public:
    explicit RegistryLookups(Registry& registry) : registry_(registry) { registry_.beginLookups(); }
    ~RegistryLookups() { registry_.endLookups(); }
    RegistryLookups(const RegistryLookups&) = delete;
    RegistryLookups& operator=(const RegistryLookups&) = delete;

private:
    Registry& registry_;
};

} // namespace quaylet
