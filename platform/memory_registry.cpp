// The registry engine: reads, handles and reference accounting (notifications: own file).
#include "platform/memory_registry.h"

#include <algorithm>
#include <utility>

namespace quaylet {

MemoryRegistry::MemoryRegistry(OperatingSystemVersion version) : version_(version) {}

MemoryRegistry::~MemoryRegistry() = default;

RegistryHandle MemoryRegistry::newHandle(ObjectKind kind, std::uint32_t id, bool borrowed) {
    const RegistryHandle handle = nextHandle_++;
    if (nextHandle_ == kNoRegistryObject) {
        nextHandle_ = 1;
    }
    handles_.emplace(handle, Object{kind, id, borrowed});
    if (accounting_ && !borrowed) {
        switch (kind) {
        case ObjectKind::Entry:
            accounting_->handedOut(handle, entries_[id].classChain.front(), entries_[id].name);
            break;
        case ObjectKind::Iterator:
            accounting_->handedOut(handle, "IOIterator", {});
            break;
        case ObjectKind::Interest:
            accounting_->handedOut(handle, "IOServiceInterestNotifier", {});
            break;
        }
    }
    return handle;
}

const MemoryRegistry::Entry* MemoryRegistry::entryFor(RegistryHandle handle) const {
    const auto found = handles_.find(handle);
    if (found == handles_.end() || found->second.kind != ObjectKind::Entry) {
        return nullptr;
    }
    return &entries_[found->second.id];
}

RegistryHandle MemoryRegistry::newIterator(std::vector<MemoryEntryId> entries) {
    const std::uint32_t id = nextObjectId_++;
    Iterator iterator;
    iterator.items = std::move(entries);
    iterators_.emplace(id, std::move(iterator));
    return newHandle(ObjectKind::Iterator, id);
}

RegistryHandle MemoryRegistry::parentEntry(RegistryHandle entry) {
    const std::lock_guard lock(mutex_);
    const Entry* child = entryFor(entry);
    if (child == nullptr || !child->parent) {
        return kNoRegistryObject;
    }
    return newHandle(ObjectKind::Entry, *child->parent);
}

RegistryHandle MemoryRegistry::childIterator(RegistryHandle entry) {
    const std::lock_guard lock(mutex_);
    const Entry* parent = entryFor(entry);
    if (parent == nullptr) {
        return kNoRegistryObject;
    }
    return newIterator(parent->children);
}

RegistryHandle MemoryRegistry::iteratorNext(RegistryHandle iterator) {
    const std::lock_guard lock(mutex_);
    const auto found = handles_.find(iterator);
    if (found == handles_.end() || found->second.kind != ObjectKind::Iterator) {
        return kNoRegistryObject;
    }
    Iterator& state = iterators_.at(found->second.id);
    if (state.next < state.items.size()) {
        return newHandle(ObjectKind::Entry, state.items[state.next++]);
    }
    if (state.notifies) {
        // Read to its end: the notification is armed and further matches start a new batch.
        state.items.clear();
        state.next = 0;
        state.armed = true;
    }
    return kNoRegistryObject;
}

bool MemoryRegistry::conformsTo(RegistryHandle object, std::string_view className) {
    const std::lock_guard lock(mutex_);
    const Entry* entry = entryFor(object);
    return entry != nullptr && std::find(entry->classChain.begin(), entry->classChain.end(),
                                         className) != entry->classChain.end();
}

std::string MemoryRegistry::className(RegistryHandle object) {
    const std::lock_guard lock(mutex_);
    const auto found = handles_.find(object);
    if (found == handles_.end()) {
        return {};
    }
    switch (found->second.kind) {
    case ObjectKind::Entry:
        return entries_[found->second.id].classChain.front();
    case ObjectKind::Iterator:
        return "IOIterator";
    case ObjectKind::Interest:
        return "IOServiceInterestNotifier";
    }
    return {};
}

void MemoryRegistry::release(RegistryHandle object) {
    if (object == kNoRegistryObject) {
        return;
    }
    const std::lock_guard lock(mutex_);
    if (accounting_) {
        accounting_->released(object);
    }
    const auto found = handles_.find(object);
    if (found == handles_.end() || found->second.borrowed) {
        return;
    }
    const Object released = found->second;
    handles_.erase(found);
    // Releasing a notification's iterator or handle cancels the notification.
    if (released.kind == ObjectKind::Iterator) {
        iterators_.erase(released.id);
    } else if (released.kind == ObjectKind::Interest) {
        interests_.erase(released.id);
    }
}

std::optional<PropertyValue> MemoryRegistry::property(RegistryHandle entry, std::string_view key) {
    const std::lock_guard lock(mutex_);
    const Entry* found = entryFor(entry);
    if (found == nullptr) {
        return std::nullopt;
    }
    const auto value = found->properties.find(key);
    if (value == found->properties.end()) {
        return std::nullopt;
    }
    return value->second;
}

std::optional<PropertyDictionary> MemoryRegistry::properties(RegistryHandle entry) {
    const std::lock_guard lock(mutex_);
    const Entry* found = entryFor(entry);
    if (found == nullptr) {
        return std::nullopt;
    }
    return found->properties;
}

bool MemoryRegistry::matches(const Entry& entry, const MatchingDictionary& matching) const {
    if (!entry.registered || entry.terminated ||
        std::find(entry.classChain.begin(), entry.classChain.end(), matching.className) ==
            entry.classChain.end()) {
        return false;
    }
    return std::all_of(matching.properties.begin(), matching.properties.end(),
                       [&entry](const auto& wanted) {
                           const auto value = entry.properties.find(wanted.first);
                           return value != entry.properties.end() && value->second == wanted.second;
                       });
}

std::vector<MemoryEntryId>
MemoryRegistry::matchingEntries(const MatchingDictionary& matching) const {
    std::vector<MemoryEntryId> found;
    const auto candidates = registeredByClass_.find(matching.className);
    if (candidates == registeredByClass_.end()) {
        return found;
    }
    for (const MemoryEntryId id : candidates->second) {
        if (matches(entries_[id], matching)) {
            found.push_back(id);
        }
    }
    return found;
}

RegistryHandle MemoryRegistry::matchingServices(MatchingDictionary matching) {
    const std::lock_guard lock(mutex_);
    std::vector<MemoryEntryId> found = matchingEntries(matching);
    if (found.empty()) {
        return kNoRegistryObject;
    }
    return newIterator(std::move(found));
}

RegistryHandle MemoryRegistry::serviceForBsdName(std::string_view bsdName) {
    const std::lock_guard lock(mutex_);
    const auto found = bsdNames_.find(bsdName);
    if (found == bsdNames_.end()) {
        return kNoRegistryObject;
    }
    return newHandle(ObjectKind::Entry, found->second);
}

OperatingSystemVersion MemoryRegistry::operatingSystemVersion() const {
    const std::lock_guard lock(mutex_);
    return version_;
}

void MemoryRegistry::setOperatingSystemVersion(OperatingSystemVersion version) {
    const std::lock_guard lock(mutex_);
    version_ = version;
}

std::optional<MemoryEntryId> MemoryRegistry::findEntry(std::string_view name) const {
    const std::lock_guard lock(mutex_);
    for (MemoryEntryId id = 0; id < entries_.size(); ++id) {
        if (entries_[id].name == name) {
            return id;
        }
    }
    return std::nullopt;
}

RegistryHandle MemoryRegistry::referenceTo(MemoryEntryId entry) {
    const std::lock_guard lock(mutex_);
    return entry < entries_.size() ? newHandle(ObjectKind::Entry, entry) : kNoRegistryObject;
}

void MemoryRegistry::setHandleAccounting(std::unique_ptr<HandleAccounting> accounting) {
    const std::lock_guard lock(mutex_);
    accounting_ = std::move(accounting);
}

HandleAccounting* MemoryRegistry::handleAccounting() const {
    const std::lock_guard lock(mutex_);
    return accounting_.get();
}

std::size_t MemoryRegistry::entryCount() const {
    const std::lock_guard lock(mutex_);
    return entries_.size();
}

} // namespace quaylet
