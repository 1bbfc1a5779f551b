// Switching off USB drives through udisks2 and Thunderbolt/USB4 routers through sysfs.
#include "platform/linux/linux_power_switch.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "platform/linux/sysfs_reader.h"
#include "platform/linux/thunderbolt_topology.h"
#include "platform/linux/udisks_module.h"
#include "platform/unique_fd.h"

namespace quaylet {
namespace {

/// The device path (below the root) of block device `name`; empty when the tree has none.
std::string blockDevicePath(const std::string& root, const std::string& name) {
    const std::string listing = root + "/class/block";
    const auto target = sysfs::readLink(listing + "/" + name);
    if (!target) {
        return {};
    }
    const std::string resolved = sysfs::resolveLink(listing, *target);
    return sysfs::isSameOrBelow(resolved, root) ? resolved.substr(root.size()) : std::string();
}

/// Whether a component of `path` is a USB bus (usb1) or device below one: the disk is on USB.
bool isOnUsb(std::string_view path) {
    const std::size_t bus = path.find("/usb");
    return bus != std::string_view::npos && bus + 4 < path.size() &&
           std::isdigit(static_cast<unsigned char>(path[bus + 4]));
}

std::string trimmed(std::string text) {
    const auto blank = [](unsigned char c) {
        return std::isspace(c) != 0;
    };
    text.erase(std::find_if_not(text.rbegin(), text.rend(), blank).base(), text.end());
    text.erase(text.begin(), std::find_if_not(text.begin(), text.end(), blank));
    return text;
}

/// "Vendor Model" from two attributes of `directory`, either may be missing; `fallback` when
/// both are.
std::string joinedNames(const std::string& directory, const char* first, const char* second,
                        const std::string& fallback) {
    const std::string a = trimmed(sysfs::readAttribute(directory + "/" + first).value_or(""));
    const std::string b = trimmed(sysfs::readAttribute(directory + "/" + second).value_or(""));
    const std::string both = a.empty() || b.empty() ? a + b : a + " " + b;
    return both.empty() ? fallback : both;
}

constexpr std::int64_t kUnknownDomain = -1;

/// Whether `name` is a PCI function's directory name: DDDD:BB:DD.F.
bool isPciAddress(std::string_view name) {
    return name.size() == 12 && name[4] == ':' && name[7] == ':' && name[10] == '.';
}

/// The number of the domain that the device at `path` is tunnelled through: the domain whose
/// tunnel port lies above it, else kUnknownDomain when a PCI function above it is one the
/// kernel marks removable (outside a discrete host router), as the device tree does; nullopt
/// when it is not tunnelled.
std::optional<std::int64_t>
tunnelDomain(const std::string& root, const ThunderboltTopology& topology, std::string_view path) {
    if (const int domain = topology.domainBelowTunnelPort(path); domain >= 0) {
        return static_cast<std::int64_t>(topology.domains[static_cast<std::size_t>(domain)].number);
    }
    for (std::string_view up = path; up.size() > 1; up = sysfs::parentPath(up)) {
        if (isPciAddress(sysfs::baseName(up)) && !topology.isHostRouterFunction(up) &&
            sysfs::readAttribute(root + std::string(up) + "/removable") == "removable") {
            return kUnknownDomain;
        }
    }
    return std::nullopt;
}

/// The whole disks of the tree tunnelled through a domain, with its number (or kUnknownDomain).
std::vector<std::pair<std::int64_t, std::string>>
tunnelledDisks(const std::string& root, const ThunderboltTopology& topology) {
    std::vector<std::pair<std::int64_t, std::string>> disks;
    for (const std::string& name : sysfs::listDirectory(root + "/class/block")) {
        const std::string path = blockDevicePath(root, name);
        if (path.empty() || sysfs::exists(root + path + "/partition")) {
            continue;
        }
        if (const auto domain = tunnelDomain(root, topology, path)) {
            disks.emplace_back(*domain, name);
        }
    }
    std::sort(disks.begin(), disks.end());
    return disks;
}

std::string routerName(std::uint64_t domain, std::uint64_t route) {
    char text[40];
    std::snprintf(text, sizeof text, "%llu-%llx", static_cast<unsigned long long>(domain),
                  static_cast<unsigned long long>(route));
    return text;
}

PowerOffReply replyOfUdisks(const UdisksReply& reply) {
    switch (reply.cause) {
    case UnmountCause::none:
        return {};
    case UnmountCause::notAllowed:
        return {PowerOffError::notAllowed, reply.message};
    default:
        return {PowerOffError::failed, reply.message};
    }
}

} // namespace

LinuxPowerSwitch::LinuxPowerSwitch(std::string sysfsRoot, MountSourceNodes nodes)
    : root_(sysfs::normalRoot(sysfsRoot)), naming_(std::move(sysfsRoot), nodes) {}

std::vector<PowerDrive> LinuxPowerSwitch::drivesOf(const MountEntry& mount) const {
    std::vector<PowerDrive> drives;
    for (const std::string& disk : naming_.mountedWholeDisks(mount)) {
        const std::string path = blockDevicePath(root_, disk);
        if (!isOnUsb(path)) {
            continue;
        }
        // The disk's device link leads to the SCSI device that names it; where a tree lacks
        // the link, that device is the folder above the disk's block folder (HOST/block/sdb).
        const std::string device =
            sysfs::exists(root_ + path + "/device")
                ? root_ + path + "/device"
                : root_ + std::string(sysfs::parentPath(sysfs::parentPath(path)));
        drives.push_back({disk, joinedNames(device, "vendor", "model", disk)});
    }
    return drives;
}

std::vector<PowerRouter> LinuxPowerSwitch::routers() const {
    const ThunderboltTopology topology = readThunderboltTopology(root_);
    const auto disks = tunnelledDisks(root_, topology);
    const std::string listing = root_ + "/bus/thunderbolt/devices/";
    std::vector<PowerRouter> routers;
    for (const ThunderboltRouter& router : topology.routers) {
        PowerRouter power;
        power.name = router.name;
        if (router.depth > 1) {
            power.parent = routerName(router.domain, router.parentRoute());
        }
        power.displayName =
            joinedNames(listing + router.name, "vendor_name", "device_name", router.name);
        power.vendor = router.vendor;
        power.model = router.model;
        power.deauthorizable =
            sysfs::readAttribute(listing + "domain" + std::to_string(router.domain) +
                                 "/deauthorization") == "1";
        // A disk whose domain is unknown may be behind any router: it counts for each.
        for (const auto& [domain, disk] : disks) {
            if (domain == kUnknownDomain || static_cast<std::uint64_t>(domain) == router.domain) {
                power.disks.push_back(disk);
            }
        }
        routers.push_back(std::move(power));
    }
    return routers;
}

PowerOffReply LinuxPowerSwitch::powerOffDrive(const std::string& disk, bool interactive) {
    const auto device = SysfsBlockDevices(root_).deviceNumber(disk);
    const auto udisks = connectUdisks(interactive);
    if (!udisks) {
        return {PowerOffError::unavailable, {}};
    }
    const auto reply = device ? udisks->powerOffDrive(*device) : std::nullopt;
    if (!reply) {
        return {PowerOffError::unsupported, "udisks2 knows no drive that /dev/" + disk + " is on"};
    }
    return replyOfUdisks(*reply);
}

PowerOffReply LinuxPowerSwitch::deauthorize(const std::string& name) {
    const std::string path = root_ + "/bus/thunderbolt/devices/" + name + "/authorized";
    const UniqueFd file(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
    if (!file) {
        const int error = errno;
        return {error == EACCES || error == EPERM ? PowerOffError::notAllowed
                                                  : PowerOffError::failed,
                path + ": " + std::strerror(error)};
    }
    if (::write(file.get(), "0", 1) != 1) {
        return {PowerOffError::failed, path + ": " + std::strerror(errno)};
    }
    return {};
}

} // namespace quaylet
