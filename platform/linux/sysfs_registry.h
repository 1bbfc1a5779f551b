// SysfsRegistry: the registry backed by the kernel's device tree (sysfs) and device events.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "platform/linux/device_event_source.h"
#include "platform/registry.h"

namespace quaylet {

class SysfsRegistryState;

/// Presents the kernel's devices under a sysfs root as registry entries: PCI functions and
/// their bridge and USB controller drivers, USB ports, devices and hub drivers, block storage
/// devices and their whole-disk and partition media. The tree is read on first use and read
/// again when the kernel has announced device events since. Handles refer to the snapshot they
/// came from, so a walk sees one consistent tree.
class SysfsRegistry final : public Registry {
public:
    /// Makes the event source of each notification port.
    using EventSourceFactory = std::function<std::unique_ptr<DeviceEventSource>()>;

    /// A registry of the tree under `root`; ports take their events from `eventSources`, or
    /// from udev (the kernel's own events when no udev daemon runs) when it is empty.
    explicit SysfsRegistry(std::string root = "/sys", EventSourceFactory eventSources = {});
    ~SysfsRegistry() override;
    SysfsRegistry(const SysfsRegistry&) = delete;
    SysfsRegistry& operator=(const SysfsRegistry&) = delete;

    RegistryHandle parentEntry(RegistryHandle entry) override;
    RegistryHandle childIterator(RegistryHandle entry) override;
    RegistryHandle iteratorNext(RegistryHandle iterator) override;
    bool conformsTo(RegistryHandle object, std::string_view className) override;
    std::string className(RegistryHandle object) override;
    void release(RegistryHandle object) override;
    std::optional<PropertyValue> property(RegistryHandle entry, std::string_view key) override;
    std::optional<PropertyDictionary> properties(RegistryHandle entry) override;
    RegistryHandle matchingServices(MatchingDictionary matching) override;
    /// Returns the media entry of the kernel block device `bsdName` (sdb1, nvme0n1, dm-0), or 0.
    RegistryHandle serviceForBsdName(std::string_view bsdName) override;
    std::unique_ptr<NotificationPort> createNotificationPort() override;
    RegistryHandle addMatchingNotification(NotificationPort& port, MatchingDictionary matching,
                                           MatchingCallback callback) override;
    RegistryHandle addInterestNotification(NotificationPort& port, RegistryHandle service,
                                           InterestCallback callback) override;
    /// Answers as a current system does: 11.0.0.
    OperatingSystemVersion operatingSystemVersion() const override;

    /// Returns how many handles were handed out and not yet released.
    std::size_t outstandingHandles() const;
    /// Makes the next lookup read the device tree again.
    void refresh();
    /// The directory the device tree is read from.
    const std::string& root() const;

private:
    std::shared_ptr<SysfsRegistryState> state_;
    EventSourceFactory eventSources_;
};

} // namespace quaylet
