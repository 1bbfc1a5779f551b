// SysfsRegistryState: the handles, device tree snapshot and notifications of a SysfsRegistry.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <variant>
#include <vector>

#include "platform/linux/device_event_source.h"
#include "platform/linux/device_tree.h"
#include "platform/registry.h"

namespace quaylet {

/// An entry of one tree snapshot; the snapshot lives as long as a handle refers to it.
struct EntryReference {
    std::shared_ptr<const DeviceTree> tree;
    TreeNodeIndex node = kNoTreeNode;

    const TreeNode& entry() const { return tree->nodes[static_cast<std::size_t>(node)]; }
};

/// An iterator: the entries still to yield, and the matching notification it belongs to.
struct IteratorObject {
    std::deque<EntryReference> pending;
    std::uint64_t registration = 0; ///< 0 for a plain iterator.
};

/// An interest notification, by its registration.
struct NotificationObject {
    std::uint64_t registration = 0;
};

using RegistryObjectValue = std::variant<EntryReference, IteratorObject, NotificationObject>;

/// What a notification port has to deliver after a batch of events.
struct PendingDelivery {
    bool matching = false; ///< A matching callback; otherwise a termination message.
    std::uint64_t registration = 0;
};

/// Everything a SysfsRegistry and its notification ports share. Every member function locks.
class SysfsRegistryState {
public:
    explicit SysfsRegistryState(std::string root);

    const std::string& root() const { return root_; }

    /// Hands out a new handle for `object`.
    RegistryHandle addObject(RegistryObjectValue object);
    /// Returns a copy of the entry reference behind `handle`; nullopt when it is no entry.
    std::optional<EntryReference> entry(RegistryHandle handle);
    /// Returns the next entry of iterator `handle` as a new handle; 0 at its end (which arms a
    /// matching notification) or when it is no iterator.
    RegistryHandle iteratorNext(RegistryHandle handle);
    /// Drops `handle`; releasing an iterator or notification handle also cancels its
    /// notification.
    void release(RegistryHandle handle);
    /// Returns the number of live handles.
    std::size_t handleCount();

    /// Returns the current tree, reading sysfs again when the kernel has announced events
    /// since the last read or the tree was marked stale.
    std::shared_ptr<const DeviceTree> currentTree();
    /// Makes the next currentTree() read sysfs again.
    void markStale();
    /// Returns an iterator handle over the current entries matching `matching`; 0 when none.
    RegistryHandle matchingServices(const MatchingDictionary& matching);

    /// Arms a matching notification; returns its iterator handle.
    RegistryHandle addMatching(const void* port, MatchingDictionary matching,
                               MatchingCallback callback);
    /// Arms an interest notification on `service`; returns its handle, or 0 for no entry.
    RegistryHandle addInterest(const void* port, RegistryHandle service, InterestCallback callback);
    /// Turns a batch of events into the deliveries for `port`'s notifications.
    std::vector<PendingDelivery> deliveriesFor(const void* port,
                                               const std::vector<DeviceEvent>& events);
    /// Runs one delivery's callback, outside the lock, if its notification is still armed.
    void deliver(const PendingDelivery& delivery);
    /// Cancels every notification of a port that is going away.
    void forgetPort(const void* port);

private:
    struct MatchingRegistration {
        const void* port = nullptr;
        MatchingDictionary matching;
        MatchingCallback callback;
        RegistryHandle iterator = kNoRegistryObject;
        std::unordered_set<std::string> delivered; ///< Keys of the entries already matched.
        bool armed = false;
    };
    struct InterestRegistration {
        const void* port = nullptr;
        std::string key; ///< The watched entry's key, to notice it gone from a newer tree.
        std::string devicePath;
        RegistryHandle service = kNoRegistryObject; ///< The registration's own reference.
        InterestCallback callback;
        bool terminated = false;
    };

    RegistryHandle addObjectLocked(RegistryObjectValue object);
    std::shared_ptr<const DeviceTree> currentTreeLocked();
    void forgetRemoved(const void* port, const std::string& removedPath,
                       std::vector<PendingDelivery>& deliveries);
    void terminateVanished(const void* port, std::vector<PendingDelivery>& deliveries);
    void matchAgain(std::uint64_t id, MatchingRegistration& registration,
                    std::vector<PendingDelivery>& deliveries);
    void cancelLocked(const RegistryObjectValue& object);

    std::mutex mutex_;
    const std::string root_;
    std::shared_ptr<const DeviceTree> tree_;
    bool stale_ = true;
    std::unordered_map<RegistryHandle, RegistryObjectValue> objects_;
    RegistryHandle lastHandle_ = kNoRegistryObject;
    std::uint64_t lastRegistration_ = 0;
    std::map<std::uint64_t, MatchingRegistration> matchings_; // In order of arming.
    std::map<std::uint64_t, InterestRegistration> interests_;
};

/// Returns whether `entry` conforms to the dictionary's class and has each of its properties.
bool entryMatches(const TreeNode& entry, const MatchingDictionary& matching);

} // namespace quaylet
