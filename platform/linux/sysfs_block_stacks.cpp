// Stacked block devices from sysfs: slaves/ and holders/, btrfs members, NVMe multipath paths.
#include "platform/linux/sysfs_block_stacks.h"

#include <algorithm>
#include <set>
#include <utility>

#include "platform/linux/sysfs_reader.h"

namespace quaylet {
namespace {

constexpr std::string_view kNvmeSubsystems = "/devices/virtual/nvme-subsystem/";

/// Returns the digits that follow `prefix` at the start of `text`, or empty.
std::string_view digitsAfter(std::string_view text, std::string_view prefix) {
    if (!text.starts_with(prefix)) {
        return {};
    }
    text.remove_prefix(prefix.size());
    const std::size_t end = text.find_first_not_of("0123456789");
    return text.substr(0, end);
}

/// Names in natural order ("sdb2" before "sdb10"), each once.
using NameSet = std::set<std::string, bool (*)(std::string_view, std::string_view)>;

} // namespace

SysfsBlockStacks::SysfsBlockStacks(std::string sysRoot)
    : sysRoot_(sysfs::normalRoot(std::move(sysRoot))) {}

std::vector<std::string> SysfsBlockStacks::leaves(std::string_view name) const {
    NameSet found(sysfs::naturalLess);
    if (!isBlockDevice(std::string(name))) {
        return {};
    }
    // Depth-first over slaves, NVMe paths and btrfs peers; `seen` ends loops of links.
    std::set<std::string> seen;
    std::vector<std::string> pending{std::string(name)};
    while (!pending.empty()) {
        const std::string next = std::move(pending.back());
        pending.pop_back();
        if (!seen.insert(next).second) {
            continue;
        }
        std::vector<std::string> lower = below(next);
        if (lower.empty()) {
            found.insert(next);
        }
        std::vector<std::string> peers = btrfsPeers(next);
        lower.insert(lower.end(), peers.begin(), peers.end());
        pending.insert(pending.end(), lower.begin(), lower.end());
    }
    return {found.begin(), found.end()};
}

std::vector<std::string> SysfsBlockStacks::holders(std::string_view name) const {
    return holdersAmong(std::string(name), btrfsMembers());
}

std::vector<std::vector<std::string>>
SysfsBlockStacks::holdersOfEach(const std::vector<std::string>& names) const {
    const BtrfsMembers filesystems = btrfsMembers();
    std::vector<std::vector<std::string>> each;
    each.reserve(names.size());
    for (const std::string& name : names) {
        each.push_back(holdersAmong(name, filesystems));
    }
    return each;
}

std::vector<std::string> SysfsBlockStacks::holdersAmong(const std::string& device,
                                                        const BtrfsMembers& filesystems) const {
    NameSet found(sysfs::naturalLess);
    for (std::string& holder :
         sysfs::listDirectory(sysRoot_ + "/class/block/" + device + "/holders")) {
        found.insert(std::move(holder));
    }
    for (std::string& peer : peersIn(filesystems, device)) {
        found.insert(std::move(peer));
    }
    // The multipath namespace stands over each of its hidden per-controller paths (nvmeScKnN).
    const std::string_view subsystem = digitsAfter(device, "nvme");
    const bool nvmePath =
        !subsystem.empty() &&
        !digitsAfter(std::string_view(device).substr(4 + subsystem.size()), "c").empty();
    for (const std::string& candidate : nvmePath ? blockDevices() : std::vector<std::string>{}) {
        if (candidate.starts_with("nvme")) {
            const std::vector<std::string> paths = nvmePaths(candidate);
            if (std::find(paths.begin(), paths.end(), device) != paths.end()) {
                found.insert(candidate);
            }
        }
    }
    return {found.begin(), found.end()};
}

std::vector<std::string> SysfsBlockStacks::blockDevices() const {
    std::vector<std::string> names = sysfs::listDirectory(sysRoot_ + "/class/block");
    std::sort(names.begin(), names.end(), sysfs::naturalLess);
    return names;
}

// The devices one level down: a device-mapper or md device's slaves/, or the per-controller
// paths of a multipath NVMe namespace.
std::vector<std::string> SysfsBlockStacks::below(const std::string& name) const {
    std::vector<std::string> lower =
        sysfs::listDirectory(sysRoot_ + "/class/block/" + name + "/slaves");
    std::vector<std::string> paths = nvmePaths(name);
    lower.insert(lower.end(), paths.begin(), paths.end());
    std::erase_if(lower, [this](const std::string& device) { return !isBlockDevice(device); });
    return lower;
}

// A btrfs spanning several devices shows in no slaves/ or holders/ folder; the kernel lists
// the members of each mounted one under fs/btrfs/FSID/devices.
std::vector<std::string> SysfsBlockStacks::btrfsPeers(const std::string& name) const {
    return peersIn(btrfsMembers(), name);
}

SysfsBlockStacks::BtrfsMembers SysfsBlockStacks::btrfsMembers() const {
    const std::string filesystems = sysRoot_ + "/fs/btrfs";
    BtrfsMembers members;
    for (const std::string& fsid : sysfs::listDirectory(filesystems)) {
        members.push_back(sysfs::listDirectory(filesystems + "/" + fsid + "/devices"));
    }
    return members;
}

std::vector<std::string> SysfsBlockStacks::peersIn(const BtrfsMembers& filesystems,
                                                   const std::string& name) {
    for (const std::vector<std::string>& members : filesystems) {
        if (std::find(members.begin(), members.end(), name) != members.end()) {
            std::vector<std::string> peers = members;
            std::erase(peers, name);
            return peers;
        }
    }
    return {};
}

// A namespace reached over several controllers (native NVMe multipath) lives below its
// subsystem, which lists the controllers (nvmeK); the namespace's path over controller K is
// the hidden block device nvmeScKnN of namespace nvmeSnN.
std::vector<std::string> SysfsBlockStacks::nvmePaths(const std::string& name) const {
    // Only a namespace's name (nvmeSnN) can have such paths; the name is looked at first, as
    // it costs no read.
    const std::string_view subsystem = digitsAfter(name, "nvme");
    if (subsystem.empty()) {
        return {};
    }
    const std::string_view rest = std::string_view(name).substr(4 + subsystem.size());
    const std::string_view namespaceId = digitsAfter(rest, "n");
    if (namespaceId.empty() || rest.size() != 1 + namespaceId.size()) {
        return {};
    }
    const std::string link = sysRoot_ + "/class/block/" + name;
    const auto target = sysfs::readLink(link);
    if (!target) {
        return {};
    }
    const std::string directory = sysfs::resolveLink(sysfs::parentPath(link), *target);
    if (directory.find(kNvmeSubsystems) == std::string::npos) {
        return {};
    }
    std::vector<std::string> paths;
    for (const std::string& entry :
         sysfs::listDirectory(std::string(sysfs::parentPath(directory)))) {
        const std::string_view controller = digitsAfter(entry, "nvme");
        if (controller.empty() || controller.size() + 4 != entry.size()) {
            continue;
        }
        std::string path = "nvme" + std::string(subsystem) + "c" + std::string(controller) + "n" +
                           std::string(namespaceId);
        if (isBlockDevice(path)) {
            paths.push_back(std::move(path));
        }
    }
    return paths;
}

bool SysfsBlockStacks::isBlockDevice(const std::string& name) const {
    return !name.empty() && name.find('/') == std::string::npos && name != "." && name != ".." &&
           sysfs::exists(sysRoot_ + "/class/block/" + name);
}

} // namespace quaylet
