// SysfsRegistry: the registry kept in step with the kernel's device tree (sysfs) and events.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/linux/device_event_source.h"
#include "platform/memory_registry.h"
#include "platform/unique_fd.h"

namespace quaylet {

/// Presents the kernel's devices under a sysfs root as registry entries: PCI functions and
/// their bridge and USB controller drivers, USB ports, devices and hub drivers, block storage
/// devices and their whole-disk and partition media. The tree is read on first use and read
/// again when the kernel has announced device events since; each read publishes the entries
/// that appeared and terminates those that went away, matched by their keys.
class SysfsRegistry final : public MemoryRegistry {
public:
    /// Makes the event source of each notification port; null when it cannot, with the reason
    /// in its argument.
    using EventSourceFactory =
        std::function<std::unique_ptr<DeviceEventSource>(std::error_code& error)>;

    /// A registry of the tree under `root`; ports take their events from `eventSources`, or
    /// from udev (the kernel's own events when no udev daemon runs) when it is empty.
    explicit SysfsRegistry(std::string root = "/sys", EventSourceFactory eventSources = {});

    RegistryHandle matchingServices(MatchingDictionary matching) override;
    /// Returns the media entry of the kernel block device `bsdName` (sdb1, nvme0n1, dm-0), or 0.
    RegistryHandle serviceForBsdName(std::string_view bsdName) override;
    /// The media entries of the block devices `bsdNames`, looked up after one check of the
    /// tree, so that the kernel's event count is read once for all of them.
    std::vector<RegistryHandle>
    servicesForBsdNames(const std::vector<std::string>& bsdNames) override;
    /// A port fed by device events. When they cannot be watched, the port never delivers and
    /// its failure() says why.
    std::unique_ptr<NotificationPort> createNotificationPort() override;
    RegistryHandle addMatchingNotification(NotificationPort& port, MatchingDictionary matching,
                                           MatchingCallback callback) override;

    /// Within a pair, this thread's lookups check the kernel's event count once.
    void beginLookups() override;
    void endLookups() override;

    /// Reads the device tree again when the kernel has announced events since the last read,
    /// or always with `force`, and publishes and terminates the differences. Devices at or
    /// below `removedPaths` count as gone even while sysfs still shows them.
    void synchronize(bool force = false, const std::vector<std::string>& removedPaths = {});
    /// Makes the next lookup read the device tree again.
    void refresh();
    /// The directory the device tree is read from.
    const std::string& root() const { return root_; }

private:
    struct Known {
        MemoryEntryId id = 0;
        std::string parentKey;
        PropertyDictionary properties;
    };

    std::mutex syncMutex_;
    const std::string root_;
    EventSourceFactory eventSources_;
    bool stale_ = true;
    std::optional<std::uint64_t> eventSequence_;
    /// The kernel's event count, kept open when it is the kernel's: every lookup asks it, and a
    /// read of an open file costs one call where opening it by its path costs three and a walk
    /// of the path.
    UniqueFd sequenceFile_;
    bool sequenceKindKnown_ = false; ///< Whether the count's file system was looked at.
    std::unordered_map<std::string, Known> known_; ///< Live entries by their tree keys.
    int lookupsDepth_ = 0;          ///< Open beginLookups() pairs, all of one thread.
    std::thread::id lookupsThread_; ///< The thread that holds them.
    bool checkedInLookups_ = false; ///< Whether the count was read since they began.
};

} // namespace quaylet
