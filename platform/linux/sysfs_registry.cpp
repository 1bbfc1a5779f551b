// SysfsRegistry: the registry kept in step with the kernel's device tree (sysfs) and events.
#include "platform/linux/sysfs_registry.h"

#include <unordered_set>

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/vfs.h>

#include "platform/class_ancestry.h"
#include "platform/linux/device_tree_builder.h"
#include "platform/linux/sysfs_notification_port.h"
#include "platform/linux/sysfs_reader.h"
#include "platform/linux/udev_device_event_source.h"

namespace quaylet {
namespace {

/// The version a current system reports; the dock detection reads its newer layouts.
constexpr OperatingSystemVersion kReportedVersion{11, 0, 0};

std::unique_ptr<DeviceEventSource> openUdevEvents(std::error_code& error) {
    return UdevDeviceEventSource::open(UdevDeviceEventSource::preferredStream(), error);
}

bool isRemoved(const std::string& devicePath, const std::vector<std::string>& removedPaths) {
    for (const std::string& removed : removedPaths) {
        if (sysfs::isSameOrBelow(devicePath, removed)) {
            return true;
        }
    }
    return false;
}

MemoryEntrySpec entrySpec(const TreeNode& node, PropertyDictionary properties) {
    std::string className(registryClassName(node.registryClass));
    std::vector<std::string> bases = classAncestry(className, {});
    return MemoryEntrySpec{std::move(className), std::move(bases), node.key, std::move(properties)};
}

} // namespace

SysfsRegistry::SysfsRegistry(std::string root, EventSourceFactory eventSources)
    : MemoryRegistry(kReportedVersion), root_(sysfs::normalRoot(std::move(root))),
      eventSources_(eventSources ? std::move(eventSources) : openUdevEvents) {}

void SysfsRegistry::beginLookups() {
    const std::lock_guard lock(syncMutex_);
    if (lookupsDepth_ > 0 && lookupsThread_ != std::this_thread::get_id()) {
        return; // another thread holds them: this one checks at every lookup, as without
    }
    if (lookupsDepth_++ == 0) {
        lookupsThread_ = std::this_thread::get_id();
        checkedInLookups_ = false;
    }
}

void SysfsRegistry::endLookups() {
    const std::lock_guard lock(syncMutex_);
    if (lookupsDepth_ > 0 && lookupsThread_ == std::this_thread::get_id()) {
        --lookupsDepth_;
    }
}

void SysfsRegistry::synchronize(bool force, const std::vector<std::string>& removedPaths) {
    const std::lock_guard lock(syncMutex_);
    const bool holding = lookupsDepth_ > 0 && lookupsThread_ == std::this_thread::get_id();
    if (holding && checkedInLookups_ && !force && removedPaths.empty()) {
        return;
    }
    checkedInLookups_ = checkedInLookups_ || holding;
    // The kernel counts every device event; an unchanged count means an unchanged tree. A
    // copied tree without the count is read once and again only when marked stale.
    std::optional<std::uint64_t> sequence;
    UniqueFd opened;
    if (!sequenceFile_) {
        const std::string path = root_ + "/kernel/uevent_seqnum";
        opened.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    }
    const int file = sequenceFile_ ? sequenceFile_.get() : opened.get();
    if (file >= 0) {
        if (const auto text = sysfs::rereadAttribute(file)) {
            sequence = sysfs::parseNumber(*text, 10);
        }
    }
    // The kernel's own count changes in place, so its file stays open; a copied tree may be
    // replaced as a whole, so its count is opened by its path each time.
    if (opened && !sequenceKindKnown_) {
        sequenceKindKnown_ = true;
        struct statfs fileSystem {};
        if (::fstatfs(opened.get(), &fileSystem) == 0 && fileSystem.f_type == SYSFS_MAGIC) {
            sequenceFile_ = std::move(opened);
        }
    }
    if (!force && !stale_ && sequence == eventSequence_ && removedPaths.empty()) {
        return;
    }
    DeviceTree tree = buildDeviceTree(root_);
    stale_ = false;
    eventSequence_ = sequence;

    // An entry stays when its key is still there under the same parent, and its parent stays.
    std::unordered_set<TreeNodeIndex> kept;
    const auto keyOf = [&tree](TreeNodeIndex index) -> const std::string& {
        static const std::string none;
        return index == kNoTreeNode ? none : tree.nodes[static_cast<std::size_t>(index)].key;
    };
    for (const TreeNodeIndex index : tree.registryOrder) {
        const TreeNode& node = tree.nodes[static_cast<std::size_t>(index)];
        const auto known = known_.find(node.key);
        if (known != known_.end() && known->second.parentKey == keyOf(node.parent) &&
            (node.parent == kNoTreeNode || kept.contains(node.parent)) &&
            !isRemoved(node.devicePath, removedPaths)) {
            kept.insert(index);
        }
    }
    std::unordered_set<std::string> keptKeys;
    for (const TreeNodeIndex index : kept) {
        keptKeys.insert(tree.nodes[static_cast<std::size_t>(index)].key);
    }
    for (auto known = known_.begin(); known != known_.end();) {
        if (keptKeys.contains(known->first)) {
            ++known;
        } else {
            terminate(known->second.id); // also terminates what lies below it
            known = known_.erase(known);
        }
    }

    // New entries go in parents first, in the tree's order, and are published once all are in.
    std::vector<MemoryEntryId> added;
    std::vector<TreeNodeIndex> pending{0};
    while (!pending.empty() && !tree.nodes.empty()) {
        const TreeNodeIndex index = pending.back();
        pending.pop_back();
        TreeNode& node = tree.nodes[static_cast<std::size_t>(index)];
        pending.insert(pending.end(), node.children.rbegin(), node.children.rend());
        if (isRemoved(node.devicePath, removedPaths)) {
            continue;
        }
        if (kept.contains(index)) {
            Known& known = known_.at(node.key);
            if (!(known.properties == node.properties)) {
                known.properties = node.properties;
                setProperties(known.id, node.properties);
            }
            continue;
        }
        std::optional<MemoryEntryId> parent;
        if (node.parent != kNoTreeNode) {
            const auto found = known_.find(keyOf(node.parent));
            if (found == known_.end()) {
                continue; // below a device that is going away
            }
            parent = found->second.id;
        }
        // The entry takes the tree's properties; the copy kept here finds later changes.
        Known known{0, keyOf(node.parent), node.properties};
        known.id = addEntry(parent, entrySpec(node, std::move(node.properties)));
        added.push_back(known.id);
        known_.insert_or_assign(node.key, std::move(known));
    }
    for (const MemoryEntryId id : added) {
        publish(id, false);
    }
}

void SysfsRegistry::refresh() {
    const std::lock_guard lock(syncMutex_);
    stale_ = true;
}

RegistryHandle SysfsRegistry::matchingServices(MatchingDictionary matching) {
    synchronize();
    return MemoryRegistry::matchingServices(std::move(matching));
}

RegistryHandle SysfsRegistry::serviceForBsdName(std::string_view bsdName) {
    synchronize();
    return MemoryRegistry::serviceForBsdName(bsdName);
}

std::vector<RegistryHandle>
SysfsRegistry::servicesForBsdNames(const std::vector<std::string>& bsdNames) {
    synchronize();
    std::vector<RegistryHandle> services;
    services.reserve(bsdNames.size());
    for (const std::string& name : bsdNames) {
        services.push_back(MemoryRegistry::serviceForBsdName(name));
    }
    return services;
}

RegistryHandle SysfsRegistry::addMatchingNotification(NotificationPort& port,
                                                      MatchingDictionary matching,
                                                      MatchingCallback callback) {
    synchronize();
    return MemoryRegistry::addMatchingNotification(port, std::move(matching), std::move(callback));
}

std::unique_ptr<NotificationPort> SysfsRegistry::createNotificationPort() {
    std::error_code error;
    std::unique_ptr<DeviceEventSource> source = eventSources_(error);
    if (!source && !error) {
        error = std::make_error_code(std::errc::no_such_device);
    }
    return std::make_unique<SysfsNotificationPort>(*this, std::move(source), error);
}

} // namespace quaylet
