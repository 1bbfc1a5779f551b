// SysfsRegistry: the registry backed by the kernel's device tree (sysfs) and device events.
#include "platform/linux/sysfs_registry.h"

#include "platform/linux/sysfs_notification_port.h"
#include "platform/linux/sysfs_registry_state.h"
#include "platform/linux/udev_device_event_source.h"

namespace quaylet {
namespace {

/// The version a current system reports; the dock detection reads its newer layouts.
constexpr OperatingSystemVersion kReportedVersion{11, 0, 0};

} // namespace

SysfsRegistry::SysfsRegistry(std::string root, EventSourceFactory eventSources)
    : state_(std::make_shared<SysfsRegistryState>(std::move(root))),
      eventSources_(std::move(eventSources)) {}

SysfsRegistry::~SysfsRegistry() = default;

RegistryHandle SysfsRegistry::parentEntry(RegistryHandle entry) {
    const auto reference = state_->entry(entry);
    if (!reference || reference->entry().parent == kNoTreeNode) {
        return kNoRegistryObject;
    }
    return state_->addObject(EntryReference{reference->tree, reference->entry().parent});
}

RegistryHandle SysfsRegistry::childIterator(RegistryHandle entry) {
    const auto reference = state_->entry(entry);
    if (!reference) {
        return kNoRegistryObject;
    }
    IteratorObject iterator;
    for (const TreeNodeIndex child : reference->entry().children) {
        iterator.pending.push_back(EntryReference{reference->tree, child});
    }
    return state_->addObject(std::move(iterator));
}

RegistryHandle SysfsRegistry::iteratorNext(RegistryHandle iterator) {
    return state_->iteratorNext(iterator);
}

bool SysfsRegistry::conformsTo(RegistryHandle object, std::string_view className) {
    const auto reference = state_->entry(object);
    return reference && registryClassConformsTo(reference->entry().registryClass, className);
}

std::string SysfsRegistry::className(RegistryHandle object) {
    const auto reference = state_->entry(object);
    return reference ? std::string(registryClassName(reference->entry().registryClass))
                     : std::string();
}

void SysfsRegistry::release(RegistryHandle object) {
    state_->release(object);
}

std::optional<PropertyValue> SysfsRegistry::property(RegistryHandle entry, std::string_view key) {
    const auto reference = state_->entry(entry);
    if (!reference) {
        return std::nullopt;
    }
    const auto& properties = reference->entry().properties;
    const auto found = properties.find(key);
    return found == properties.end() ? std::nullopt : std::optional(found->second);
}

std::optional<PropertyDictionary> SysfsRegistry::properties(RegistryHandle entry) {
    const auto reference = state_->entry(entry);
    return reference ? std::optional(reference->entry().properties) : std::nullopt;
}

RegistryHandle SysfsRegistry::matchingServices(MatchingDictionary matching) {
    return state_->matchingServices(matching);
}

RegistryHandle SysfsRegistry::serviceForBsdName(std::string_view bsdName) {
    const auto tree = state_->currentTree();
    const TreeNodeIndex media = tree->media(bsdName);
    return media == kNoTreeNode ? kNoRegistryObject
                                : state_->addObject(EntryReference{tree, media});
}

std::unique_ptr<NotificationPort> SysfsRegistry::createNotificationPort() {
    std::unique_ptr<DeviceEventSource> source;
    if (eventSources_) {
        source = eventSources_();
    } else {
        std::error_code error;
        source = UdevDeviceEventSource::open(UdevDeviceEventSource::preferredStream(), error);
    }
    return std::make_unique<SysfsNotificationPort>(state_, std::move(source));
}

RegistryHandle SysfsRegistry::addMatchingNotification(NotificationPort& port,
                                                      MatchingDictionary matching,
                                                      MatchingCallback callback) {
    const auto* ours = dynamic_cast<SysfsNotificationPort*>(&port);
    if (ours == nullptr || !ours->belongsTo(state_.get()) || !callback) {
        return kNoRegistryObject;
    }
    return state_->addMatching(ours, std::move(matching), std::move(callback));
}

RegistryHandle SysfsRegistry::addInterestNotification(NotificationPort& port,
                                                      RegistryHandle service,
                                                      InterestCallback callback) {
    const auto* ours = dynamic_cast<SysfsNotificationPort*>(&port);
    if (ours == nullptr || !ours->belongsTo(state_.get()) || !callback) {
        return kNoRegistryObject;
    }
    return state_->addInterest(ours, service, std::move(callback));
}

OperatingSystemVersion SysfsRegistry::operatingSystemVersion() const {
    return kReportedVersion;
}

std::size_t SysfsRegistry::outstandingHandles() const {
    return state_->handleCount();
}

void SysfsRegistry::refresh() {
    state_->markStale();
}

const std::string& SysfsRegistry::root() const {
    return state_->root();
}

} // namespace quaylet
