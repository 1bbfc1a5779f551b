// SysfsRegistryState: the handles, device tree snapshot and notifications of a SysfsRegistry.
#include "platform/linux/sysfs_registry_state.h"

#include "platform/linux/device_tree_builder.h"
#include "platform/linux/sysfs_reader.h"

namespace quaylet {
namespace {

std::string_view devicePathOfKey(std::string_view key) {
    return key.substr(0, key.find('#'));
}

} // namespace

bool entryMatches(const TreeNode& entry, const MatchingDictionary& matching) {
    if (!registryClassConformsTo(entry.registryClass, matching.className)) {
        return false;
    }
    for (const auto& [key, value] : matching.properties) {
        const auto found = entry.properties.find(key);
        if (found == entry.properties.end() || !(found->second == value)) {
            return false;
        }
    }
    return true;
}

SysfsRegistryState::SysfsRegistryState(std::string root)
    : root_(sysfs::normalRoot(std::move(root))) {}

RegistryHandle SysfsRegistryState::addObject(RegistryObjectValue object) {
    const std::lock_guard lock(mutex_);
    return addObjectLocked(std::move(object));
}

RegistryHandle SysfsRegistryState::addObjectLocked(RegistryObjectValue object) {
    do {
        ++lastHandle_;
    } while (lastHandle_ == kNoRegistryObject || objects_.contains(lastHandle_));
    objects_.emplace(lastHandle_, std::move(object));
    return lastHandle_;
}

std::optional<EntryReference> SysfsRegistryState::entry(RegistryHandle handle) {
    const std::lock_guard lock(mutex_);
    const auto found = objects_.find(handle);
    if (found == objects_.end()) {
        return std::nullopt;
    }
    if (const auto* reference = std::get_if<EntryReference>(&found->second)) {
        return *reference;
    }
    return std::nullopt;
}

RegistryHandle SysfsRegistryState::iteratorNext(RegistryHandle handle) {
    const std::lock_guard lock(mutex_);
    const auto found = objects_.find(handle);
    auto* iterator =
        found == objects_.end() ? nullptr : std::get_if<IteratorObject>(&found->second);
    if (iterator == nullptr) {
        return kNoRegistryObject;
    }
    if (iterator->pending.empty()) {
        if (const auto registration = matchings_.find(iterator->registration);
            registration != matchings_.end()) {
            registration->second.armed = true;
        }
        return kNoRegistryObject;
    }
    EntryReference next = std::move(iterator->pending.front());
    iterator->pending.pop_front();
    return addObjectLocked(std::move(next));
}

void SysfsRegistryState::release(RegistryHandle handle) {
    const std::lock_guard lock(mutex_);
    const auto found = objects_.find(handle);
    if (found == objects_.end()) {
        return;
    }
    const RegistryObjectValue object = std::move(found->second);
    objects_.erase(found);
    cancelLocked(object);
}

void SysfsRegistryState::cancelLocked(const RegistryObjectValue& object) {
    if (const auto* iterator = std::get_if<IteratorObject>(&object)) {
        matchings_.erase(iterator->registration);
    } else if (const auto* notification = std::get_if<NotificationObject>(&object)) {
        const auto found = interests_.find(notification->registration);
        if (found != interests_.end()) {
            objects_.erase(found->second.service);
            interests_.erase(found);
        }
    }
}

std::size_t SysfsRegistryState::handleCount() {
    const std::lock_guard lock(mutex_);
    return objects_.size();
}

std::shared_ptr<const DeviceTree> SysfsRegistryState::currentTree() {
    const std::lock_guard lock(mutex_);
    return currentTreeLocked();
}

std::shared_ptr<const DeviceTree> SysfsRegistryState::currentTreeLocked() {
    // The kernel counts every device event; an unchanged count means an unchanged tree. A
    // copied tree without the count is read once and again only when marked stale.
    std::optional<std::uint64_t> sequence;
    if (const auto text = sysfs::readAttribute(root_ + "/kernel/uevent_seqnum")) {
        sequence = sysfs::parseNumber(*text, 10);
    }
    if (!tree_ || stale_ || sequence != tree_->eventSequence) {
        tree_ = buildDeviceTree(root_);
        stale_ = false;
    }
    return tree_;
}

void SysfsRegistryState::markStale() {
    const std::lock_guard lock(mutex_);
    stale_ = true;
}

RegistryHandle SysfsRegistryState::matchingServices(const MatchingDictionary& matching) {
    const std::lock_guard lock(mutex_);
    const auto tree = currentTreeLocked();
    IteratorObject iterator;
    for (const TreeNodeIndex index : tree->registryOrder) {
        if (entryMatches(tree->nodes[static_cast<std::size_t>(index)], matching)) {
            iterator.pending.push_back(EntryReference{tree, index});
        }
    }
    return iterator.pending.empty() ? kNoRegistryObject : addObjectLocked(std::move(iterator));
}

RegistryHandle SysfsRegistryState::addMatching(const void* port, MatchingDictionary matching,
                                               MatchingCallback callback) {
    const std::lock_guard lock(mutex_);
    const std::uint64_t id = ++lastRegistration_;
    MatchingRegistration registration{
        port, std::move(matching), std::move(callback), kNoRegistryObject, {}, false};
    registration.iterator = addObjectLocked(IteratorObject{{}, id});
    std::vector<PendingDelivery> unused;
    matchAgain(id, registration, unused);
    matchings_.emplace(id, std::move(registration));
    return matchings_.at(id).iterator;
}

RegistryHandle SysfsRegistryState::addInterest(const void* port, RegistryHandle service,
                                               InterestCallback callback) {
    const std::lock_guard lock(mutex_);
    const auto found = objects_.find(service);
    const auto* reference =
        found == objects_.end() ? nullptr : std::get_if<EntryReference>(&found->second);
    if (reference == nullptr) {
        return kNoRegistryObject;
    }
    const std::uint64_t id = ++lastRegistration_;
    InterestRegistration registration{port,
                                      reference->entry().key,
                                      reference->entry().devicePath,
                                      kNoRegistryObject,
                                      std::move(callback),
                                      false};
    registration.service = addObjectLocked(EntryReference(*reference));
    interests_.emplace(id, std::move(registration));
    return addObjectLocked(NotificationObject{id});
}

std::vector<PendingDelivery>
SysfsRegistryState::deliveriesFor(const void* port, const std::vector<DeviceEvent>& events) {
    const std::lock_guard lock(mutex_);
    std::vector<PendingDelivery> deliveries;
    bool added = false;
    for (const DeviceEvent& event : events) {
        if (event.action == "remove") {
            forgetRemoved(port, event.devicePath, deliveries);
        } else if (event.action == "add" || event.action == "bind") {
            added = true;
        }
    }
    if (events.empty()) {
        return deliveries;
    }
    stale_ = true;
    terminateVanished(port, deliveries);
    if (added) {
        for (auto& [id, registration] : matchings_) {
            if (registration.port == port) {
                matchAgain(id, registration, deliveries);
            }
        }
    }
    return deliveries;
}

// Events can be lost (a full socket buffer during an unplug): a watched entry missing from
// the tree read after any event is terminated all the same.
void SysfsRegistryState::terminateVanished(const void* port,
                                           std::vector<PendingDelivery>& deliveries) {
    const auto tree = currentTreeLocked();
    for (auto& [id, registration] : interests_) {
        if (registration.port == port && !registration.terminated &&
            !tree->nodeByKey.contains(registration.key)) {
            registration.terminated = true;
            deliveries.push_back(PendingDelivery{false, id});
        }
    }
}

void SysfsRegistryState::forgetRemoved(const void* port, const std::string& removedPath,
                                       std::vector<PendingDelivery>& deliveries) {
    for (auto& [id, registration] : interests_) {
        if (registration.port == port && !registration.terminated &&
            sysfs::isSameOrBelow(registration.devicePath, removedPath)) {
            registration.terminated = true;
            deliveries.push_back(PendingDelivery{false, id});
        }
    }
    // A device that comes back is matched again.
    for (auto& [id, registration] : matchings_) {
        if (registration.port == port) {
            std::erase_if(registration.delivered, [&removedPath](const std::string& key) {
                return sysfs::isSameOrBelow(devicePathOfKey(key), removedPath);
            });
        }
    }
}

void SysfsRegistryState::matchAgain(std::uint64_t id, MatchingRegistration& registration,
                                    std::vector<PendingDelivery>& deliveries) {
    const auto tree = currentTreeLocked();
    std::unordered_set<std::string> current;
    std::vector<TreeNodeIndex> fresh;
    for (const TreeNodeIndex index : tree->registryOrder) {
        const TreeNode& node = tree->nodes[static_cast<std::size_t>(index)];
        if (entryMatches(node, registration.matching)) {
            current.insert(node.key);
            if (!registration.delivered.contains(node.key)) {
                fresh.push_back(index);
            }
        }
    }
    registration.delivered = std::move(current);
    const auto found = objects_.find(registration.iterator);
    auto* iterator =
        found == objects_.end() ? nullptr : std::get_if<IteratorObject>(&found->second);
    if (iterator == nullptr || fresh.empty()) {
        return;
    }
    for (const TreeNodeIndex index : fresh) {
        iterator->pending.push_back(EntryReference{tree, index});
    }
    deliveries.push_back(PendingDelivery{true, id});
}

void SysfsRegistryState::deliver(const PendingDelivery& delivery) {
    std::unique_lock lock(mutex_);
    if (delivery.matching) {
        const auto found = matchings_.find(delivery.registration);
        if (found == matchings_.end() || !found->second.armed) {
            return;
        }
        const MatchingCallback callback = found->second.callback;
        const RegistryHandle iterator = found->second.iterator;
        lock.unlock();
        callback(iterator);
        return;
    }
    const auto found = interests_.find(delivery.registration);
    if (found == interests_.end()) {
        return;
    }
    const InterestCallback callback = found->second.callback;
    const RegistryHandle service = found->second.service;
    lock.unlock();
    callback(service, kMessageServiceIsTerminated, 0);
}

void SysfsRegistryState::forgetPort(const void* port) {
    const std::lock_guard lock(mutex_);
    std::erase_if(matchings_, [port](const auto& item) { return item.second.port == port; });
    std::erase_if(interests_, [&](const auto& item) {
        if (item.second.port != port) {
            return false;
        }
        objects_.erase(item.second.service);
        return true;
    });
}

} // namespace quaylet
