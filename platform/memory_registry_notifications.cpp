// The in-memory registry's changes over time: building, publishing, terminating, and the
// matching and interest notifications they deliver through notification ports.
#include <algorithm>
#include <utility>

#include "platform/memory_notification_port.h"
#include "platform/memory_registry.h"

namespace quaylet {
namespace {

constexpr std::string_view kBsdNameKey = "BSD Name";

const std::string* bsdNameOf(const PropertyDictionary& properties) {
    const auto found = properties.find(kBsdNameKey);
    return found == properties.end() ? nullptr : found->second.string();
}

} // namespace

MemoryEntryId MemoryRegistry::addEntry(std::optional<MemoryEntryId> parent,
                                       MemoryEntrySpec newEntry) {
    const std::lock_guard lock(mutex_);
    const auto id = static_cast<MemoryEntryId>(entries_.size());
    Entry entry;
    entry.name = newEntry.name.empty() ? newEntry.className : std::move(newEntry.name);
    entry.classChain.push_back(std::move(newEntry.className));
    for (auto& base : newEntry.baseClasses) {
        entry.classChain.push_back(std::move(base));
    }
    entry.properties = std::move(newEntry.properties);
    if (parent && *parent < entries_.size() && !entries_[*parent].terminated) {
        entry.parent = parent;
        entries_[*parent].children.push_back(id);
    }
    entries_.push_back(std::move(entry));
    return id;
}

void MemoryRegistry::registerEntry(MemoryEntryId id) {
    Entry& entry = entries_[id];
    entry.registered = true;
    for (const std::string& name : entry.classChain) {
        registeredByClass_[name].push_back(id);
    }
    if (const std::string* bsdName = bsdNameOf(entry.properties)) {
        bsdNames_.try_emplace(*bsdName, id);
    }
}

void MemoryRegistry::unregisterEntry(MemoryEntryId id) {
    const Entry& entry = entries_[id];
    for (const std::string& name : entry.classChain) {
        auto& list = registeredByClass_[name];
        list.erase(std::remove(list.begin(), list.end(), id), list.end());
    }
    if (const std::string* bsdName = bsdNameOf(entry.properties)) {
        const auto found = bsdNames_.find(*bsdName);
        if (found != bsdNames_.end() && found->second == id) {
            bsdNames_.erase(found);
        }
    }
}

void MemoryRegistry::noticeMatchingNotifications(MemoryEntryId id) {
    for (auto& [iteratorId, iterator] : iterators_) {
        if (!iterator.notifies || !matches(entries_[id], iterator.matching)) {
            continue;
        }
        iterator.items.push_back(id);
        if (iterator.armed) {
            // One callback per batch: the notification re-arms once its iterator is drained.
            iterator.armed = false;
            iterator.port->post([this, alive = std::weak_ptr(alive_), iteratorIdCopy = iteratorId] {
                if (alive.lock()) {
                    deliverMatching(iteratorIdCopy);
                }
            });
        }
    }
}

void MemoryRegistry::publish(MemoryEntryId entry, bool withDescendants) {
    const std::lock_guard lock(mutex_);
    if (entry >= entries_.size()) {
        return;
    }
    std::vector<MemoryEntryId> pending{entry};
    while (!pending.empty()) {
        const MemoryEntryId id = pending.back();
        pending.pop_back();
        if (entries_[id].terminated) {
            continue;
        }
        if (!entries_[id].registered) {
            registerEntry(id);
            noticeMatchingNotifications(id);
        }
        if (!withDescendants) {
            break;
        }
        const auto& children = entries_[id].children;
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
}

void MemoryRegistry::terminate(MemoryEntryId entry) {
    const std::lock_guard lock(mutex_);
    if (entry >= entries_.size() || entries_[entry].terminated) {
        return;
    }
    // Collect the subtree in tree order, then terminate it deepest first.
    std::vector<MemoryEntryId> subtree{entry};
    for (std::size_t at = 0; at < subtree.size(); ++at) {
        const auto& children = entries_[subtree[at]].children;
        subtree.insert(subtree.end(), children.begin(), children.end());
    }
    for (auto id = subtree.rbegin(); id != subtree.rend(); ++id) {
        if (entries_[*id].registered) {
            unregisterEntry(*id);
        }
        entries_[*id].terminated = true;
        for (const auto& [interestId, interest] : interests_) {
            if (interest.service == *id) {
                queueInterestMessage(interestId, kMessageServiceIsTerminated, 0);
            }
        }
    }
    if (const auto parent = std::exchange(entries_[entry].parent, std::nullopt)) {
        auto& siblings = entries_[*parent].children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), entry), siblings.end());
    }
}

void MemoryRegistry::sendMessage(MemoryEntryId entry, std::uint32_t type, std::uintptr_t argument) {
    const std::lock_guard lock(mutex_);
    for (const auto& [interestId, interest] : interests_) {
        if (interest.service == entry) {
            queueInterestMessage(interestId, type, argument);
        }
    }
}

void MemoryRegistry::queueInterestMessage(std::uint32_t interestId, std::uint32_t type,
                                          std::uintptr_t argument) {
    interests_.at(interestId)
        .port->post([this, alive = std::weak_ptr(alive_), interestId, type, argument] {
            if (alive.lock()) {
                deliverInterest(interestId, type, argument);
            }
        });
}

void MemoryRegistry::setProperty(MemoryEntryId entry, const std::string& key, PropertyValue value) {
    const std::lock_guard lock(mutex_);
    if (entry >= entries_.size()) {
        return;
    }
    const bool indexed = entries_[entry].registered && !entries_[entry].terminated;
    if (indexed) {
        unregisterEntry(entry);
    }
    entries_[entry].properties.insert_or_assign(key, std::move(value));
    if (indexed) {
        registerEntry(entry);
    }
}

void MemoryRegistry::setProperties(MemoryEntryId entry, PropertyDictionary properties) {
    const std::lock_guard lock(mutex_);
    if (entry >= entries_.size()) {
        return;
    }
    const bool indexed = entries_[entry].registered && !entries_[entry].terminated;
    if (indexed) {
        unregisterEntry(entry);
    }
    entries_[entry].properties = std::move(properties);
    if (indexed) {
        registerEntry(entry);
    }
}

std::shared_ptr<MemoryPortQueue> MemoryRegistry::queueOf(NotificationPort& port) const {
    const auto* memoryPort = dynamic_cast<MemoryNotificationPort*>(&port);
    return memoryPort == nullptr || memoryPort->owner() != this ? nullptr : memoryPort->queue();
}

std::unique_ptr<NotificationPort> MemoryRegistry::createNotificationPort() {
    return std::make_unique<MemoryNotificationPort>(this);
}

RegistryHandle MemoryRegistry::addMatchingNotification(NotificationPort& port,
                                                       MatchingDictionary matching,
                                                       MatchingCallback callback) {
    std::shared_ptr<MemoryPortQueue> queue = queueOf(port);
    const std::lock_guard lock(mutex_);
    if (!queue || !callback) {
        return kNoRegistryObject;
    }
    const std::uint32_t id = nextObjectId_++;
    Iterator iterator;
    iterator.items = matchingEntries(matching);
    iterator.notifies = true;
    iterator.port = std::move(queue);
    iterator.matching = std::move(matching);
    iterator.callback = std::move(callback);
    iterator.handle = newHandle(ObjectKind::Iterator, id);
    const RegistryHandle handle = iterator.handle;
    iterators_.emplace(id, std::move(iterator));
    return handle;
}

RegistryHandle MemoryRegistry::addInterestNotification(NotificationPort& port,
                                                       RegistryHandle service,
                                                       InterestCallback callback) {
    std::shared_ptr<MemoryPortQueue> queue = queueOf(port);
    const std::lock_guard lock(mutex_);
    const auto object = handles_.find(service);
    if (!queue || !callback || object == handles_.end() ||
        object->second.kind != ObjectKind::Entry || entries_[object->second.id].terminated) {
        return kNoRegistryObject;
    }
    const std::uint32_t id = nextObjectId_++;
    interests_.emplace(id, Interest{object->second.id, std::move(queue), std::move(callback)});
    return newHandle(ObjectKind::Interest, id);
}

void MemoryRegistry::deliverMatching(std::uint32_t iteratorId) {
    MatchingCallback callback;
    RegistryHandle handle = kNoRegistryObject;
    {
        const std::lock_guard lock(mutex_);
        const auto found = iterators_.find(iteratorId);
        if (found == iterators_.end()) {
            return; // cancelled since the callback was queued
        }
        callback = found->second.callback;
        handle = found->second.handle;
    }
    callback(handle);
}

void MemoryRegistry::deliverInterest(std::uint32_t interestId, std::uint32_t type,
                                     std::uintptr_t argument) {
    InterestCallback callback;
    RegistryHandle service = kNoRegistryObject;
    {
        const std::lock_guard lock(mutex_);
        const auto found = interests_.find(interestId);
        if (found == interests_.end()) {
            return; // cancelled since the message was queued
        }
        callback = found->second.callback;
        // The callback is lent a handle to the service for its duration only.
        service = newHandle(ObjectKind::Entry, found->second.service, true);
    }
    callback(service, type, argument);
    const std::lock_guard lock(mutex_);
    handles_.erase(service);
}

} // namespace quaylet
