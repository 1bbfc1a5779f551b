// MemoryRegistry: the registry engine, entries held in memory; the backends build on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/registry.h"

namespace quaylet {

/// Identifies one entry of a MemoryRegistry for the lifetime of the registry.
using MemoryEntryId = std::uint32_t;

/// What one entry is: its class with its base classes, its name and its property table.
struct MemoryEntrySpec {
    std::string className;                ///< The entry's own class.
    std::vector<std::string> baseClasses; ///< Its ancestry, nearest base class first.
    std::string name;                     ///< Registry name ("XHC1@14"); the class when empty.
    PropertyDictionary properties;        ///< A "BSD Name" string makes it a BSD service.
};

class MemoryPortQueue;

/// Sees every reference a MemoryRegistry hands out to a caller and every release asked of it,
/// so that an owner can account for them. Called with the registry's lock held: it must not
/// call back into the registry.
class HandleAccounting {
public:
    virtual ~HandleAccounting() = default;
    /// `handle` was handed out; `className` and `name` say what it refers to (name empty for
    /// iterators and notifications).
    virtual void handedOut(RegistryHandle handle, std::string_view className,
                           std::string_view name) = 0;
    /// Release of `handle` was asked, whether or not it was live.
    virtual void released(RegistryHandle handle) = 0;
};

/// The registry engine: entries held in memory, built by tests, loaded from a machine snapshot
/// or kept in step with the kernel's device tree (SysfsRegistry). Every reference it hands out
/// is a handle of its own, never reused, so that an attached HandleAccounting can tell
/// outstanding references and double or unknown releases apart. Thread-safe; callbacks run without
/// the registry's lock held, on the thread that dispatches their port.
class MemoryRegistry : public Registry {
public:
    explicit MemoryRegistry(OperatingSystemVersion version = {11, 0, 0});
    ~MemoryRegistry() override;
    MemoryRegistry(const MemoryRegistry&) = delete;
    MemoryRegistry& operator=(const MemoryRegistry&) = delete;

    RegistryHandle parentEntry(RegistryHandle entry) override;
    RegistryHandle childIterator(RegistryHandle entry) override;
    RegistryHandle iteratorNext(RegistryHandle iterator) override;
    bool conformsTo(RegistryHandle object, std::string_view className) override;
    std::string className(RegistryHandle object) override;
    void release(RegistryHandle object) override;
    std::optional<PropertyValue> property(RegistryHandle entry, std::string_view key) override;
    std::optional<PropertyDictionary> properties(RegistryHandle entry) override;
    RegistryHandle matchingServices(MatchingDictionary matching) override;
    RegistryHandle serviceForBsdName(std::string_view bsdName) override;
    std::unique_ptr<NotificationPort> createNotificationPort() override;
    RegistryHandle addMatchingNotification(NotificationPort& port, MatchingDictionary matching,
                                           MatchingCallback callback) override;
    RegistryHandle addInterestNotification(NotificationPort& port, RegistryHandle service,
                                           InterestCallback callback) override;
    OperatingSystemVersion operatingSystemVersion() const override;

    // --- Building and driving the registry (tests, snapshot loading) ---

    /// Adds an entry under `parent` (a root when nullopt), after its existing children. The
    /// entry is in the tree at once but matches nothing until published. Returns its id.
    MemoryEntryId addEntry(std::optional<MemoryEntryId> parent, MemoryEntrySpec newEntry);
    /// Registers `entry` and, with `withDescendants`, every entry below it, in tree order, and
    /// delivers matching notifications for each. Published or terminated entries stay as they are.
    void publish(MemoryEntryId entry, bool withDescendants = true);
    /// Terminates `entry` and everything below it: they leave the tree, stop matching, and
    /// their interest notifications receive kMessageServiceIsTerminated (deepest first).
    void terminate(MemoryEntryId entry);
    /// Queues message `type` with `argument` to every interest notification on `entry`.
    void sendMessage(MemoryEntryId entry, std::uint32_t type, std::uintptr_t argument = 0);
    /// Sets or replaces one property of `entry`.
    void setProperty(MemoryEntryId entry, const std::string& key, PropertyValue value);
    /// Replaces the whole property table of `entry`.
    void setProperties(MemoryEntryId entry, PropertyDictionary properties);
    /// Changes the operating-system version the registry reports.
    void setOperatingSystemVersion(OperatingSystemVersion version);
    /// Attaches `accounting` (replacing any before it) to see the handles from now on.
    void setHandleAccounting(std::unique_ptr<HandleAccounting> accounting);
    /// Returns the attached accounting, or null.
    HandleAccounting* handleAccounting() const;

    // --- Inspecting the registry (tests) ---

    /// Returns the first entry in tree order with registry name `name`, or nullopt.
    std::optional<MemoryEntryId> findEntry(std::string_view name) const;
    /// Hands out a new reference to `entry`, owned by the caller; 0 for an unknown id.
    RegistryHandle referenceTo(MemoryEntryId entry);
    /// Returns the number of entries ever added.
    std::size_t entryCount() const;

private:
    struct Entry {
        std::string name;
        std::vector<std::string> classChain; // own class first
        PropertyDictionary properties;
        std::optional<MemoryEntryId> parent;
        std::vector<MemoryEntryId> children;
        bool registered = false;
        bool terminated = false;
    };
    // An iterator; one that belongs to a matching notification also carries its state.
    struct Iterator {
        std::vector<MemoryEntryId> items;
        std::size_t next = 0;
        bool notifies = false;
        bool armed = false;
        RegistryHandle handle = 0;
        std::shared_ptr<MemoryPortQueue> port;
        MatchingDictionary matching;
        MatchingCallback callback;
    };
    struct Interest {
        MemoryEntryId service = 0;
        std::shared_ptr<MemoryPortQueue> port;
        InterestCallback callback;
    };
    enum class ObjectKind { Entry, Iterator, Interest };
    struct Object {
        ObjectKind kind;
        std::uint32_t id;
        bool borrowed; // lent to a callback for its duration; the callee must not release it
    };
    struct TransparentHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>{}(text);
        }
    };

    RegistryHandle newHandle(ObjectKind kind, std::uint32_t id, bool borrowed = false);
    const Entry* entryFor(RegistryHandle handle) const;
    RegistryHandle newIterator(std::vector<MemoryEntryId> entries);
    bool matches(const Entry& entry, const MatchingDictionary& matching) const;
    std::vector<MemoryEntryId> matchingEntries(const MatchingDictionary& matching) const;
    void registerEntry(MemoryEntryId id);
    void unregisterEntry(MemoryEntryId id);
    void noticeMatchingNotifications(MemoryEntryId id);
    void queueInterestMessage(std::uint32_t interestId, std::uint32_t type,
                              std::uintptr_t argument);
    void deliverMatching(std::uint32_t iteratorId);
    void deliverInterest(std::uint32_t interestId, std::uint32_t type, std::uintptr_t argument);
    std::shared_ptr<MemoryPortQueue> queueOf(NotificationPort& port) const;

    mutable std::mutex mutex_;
    // Queued callbacks hold a weak reference, so a port dispatched after the registry is
    // gone runs nothing.
    std::shared_ptr<const bool> alive_ = std::make_shared<const bool>(true);
    OperatingSystemVersion version_;
    std::vector<Entry> entries_;
    std::unordered_map<RegistryHandle, Object> handles_;
    std::map<std::uint32_t, Iterator> iterators_;
    std::map<std::uint32_t, Interest> interests_;
    std::unordered_map<std::string, std::vector<MemoryEntryId>, TransparentHash, std::equal_to<>>
        registeredByClass_;
    std::unordered_map<std::string, MemoryEntryId, TransparentHash, std::equal_to<>> bsdNames_;
    RegistryHandle nextHandle_ = 1;
    std::uint32_t nextObjectId_ = 1;
    std::unique_ptr<HandleAccounting> accounting_;
};

} // namespace quaylet
