// DeviceTreeBuilder, Thunderbolt part: which router each tunnelled PCIe upstream bridge leads to.
//
// The tunnel endpoint properties ("Tunnel Endpoint Device Vendor ID", "Tunnel Endpoint Device
// Model ID", "Tunnel Endpoint GUID") go on the tunnel head of each Thunderbolt/USB4 router: the
// PCIe upstream bridge through which the router's PCIe switch appears. They come from the
// router's `vendor`, `device` and `unique_id` (bus/thunderbolt/devices/D-R).
//
// The kernel does not say which router a PCI function belongs to, so the pairing is inferred:
//
// 1. Tunnel heads. A PCI function is tunnelled when it or an ancestor is marked "removable"
//    (the kernel marks every function below an external-facing port so). Inside a tunnel,
//    upstream and downstream ports of PCIe switches alternate, so a head is the first tunnelled
//    function on a path, or a bridge below a tunnelled downstream port. The k-th head on a path
//    has chain depth k.
// 2. Routers. Every authorised device router D-R with a non-zero route; its depth is the number
//    of hops of its route (0-1 has depth 1, 0-301 depth 2, behind port 3 of 0-1), and its
//    parent is the router one hop closer to the computer.
// 3. Pairing, from the computer outwards. The heads with the same head above them and the same
//    depth k form a group. Its candidate routers are those at depth k, and when the head above
//    is paired with router R, only R's children. One candidate: it is paired with every head of
//    the group (unambiguous). As many candidates as heads: they are paired in order, heads by
//    PCI address and routers by domain and route. Otherwise the group stays unpaired.
//
// Limits: the in-order pairing assumes that a host's PCIe tunnel ports and its Thunderbolt ports
// are numbered in the same order, which holds on the machines seen but is not promised. A PCIe
// switch inside a device behind another switch's downstream port counts as a head of its own;
// it is paired only when a router is left over for it, and then with that router's IDs, which
// a walk up from below treats like any other non-dock endpoint. Routers without PCIe tunnels
// (a display) count as candidates, so a dock next to one on the same host port level pairs by
// order alone. A head left unpaired carries no tunnel endpoint properties.
#include <algorithm>
#include <bit>
#include <map>
#include <tuple>

#include "platform/linux/device_tree_builder.h"
#include "platform/linux/sysfs_reader.h"

namespace quaylet {
namespace {

struct Router {
    std::uint64_t domain = 0;
    std::uint64_t route = 0;
    int depth = 0;
    std::uint32_t vendor = 0;
    std::uint32_t model = 0;
    std::string uniqueId;

    std::uint64_t parentRoute() const {
        return depth <= 1 ? 0 : route & ((std::uint64_t{1} << (8 * (depth - 1))) - 1);
    }
};

int routeDepth(std::uint64_t route) {
    return (std::bit_width(route) + 7) / 8;
}

std::optional<Router> readRouter(const std::string& directory, std::string_view name) {
    const std::size_t dash = name.find('-');
    if (dash == std::string_view::npos) {
        return std::nullopt;
    }
    const auto domain = sysfs::parseNumber(name.substr(0, dash), 10);
    const auto route = sysfs::parseNumber(name.substr(dash + 1), 16);
    if (!domain || !route || *route == 0) {
        return std::nullopt;
    }
    const auto uevent = sysfs::readAttribute(directory + "/uevent").value_or("");
    if (uevent.find("DEVTYPE=thunderbolt_device") == std::string::npos ||
        sysfs::readAttribute(directory + "/authorized") == "0") {
        return std::nullopt;
    }
    Router router{*domain, *route, routeDepth(*route), 0, 0, {}};
    const auto number = [&](const char* attribute) {
        const auto text = sysfs::readAttribute(directory + "/" + attribute).value_or("");
        return static_cast<std::uint32_t>(sysfs::parseNumber(text, 16).value_or(0));
    };
    router.vendor = number("vendor");
    router.model = number("device");
    router.uniqueId = sysfs::readAttribute(directory + "/unique_id").value_or("");
    return router;
}

std::vector<Router> readRouters(const std::string& root) {
    const std::string listing = root + "/bus/thunderbolt/devices";
    std::vector<Router> routers;
    for (const std::string& name : sysfs::listDirectory(listing)) {
        const auto target = sysfs::readLink(listing + "/" + name);
        if (!target) {
            continue;
        }
        if (auto router = readRouter(sysfs::resolveLink(listing, *target), name)) {
            routers.push_back(std::move(*router));
        }
    }
    std::sort(routers.begin(), routers.end(), [](const Router& a, const Router& b) {
        return std::tie(a.domain, a.route) < std::tie(b.domain, b.route);
    });
    return routers;
}

/// The routers at `depth`; only the children of `above` when the head above is paired.
std::vector<const Router*> candidateRouters(const std::vector<Router>& routers, int depth,
                                            const Router* above) {
    std::vector<const Router*> candidates;
    for (const Router& router : routers) {
        const bool childOfAbove = above == nullptr || (router.domain == above->domain &&
                                                       router.parentRoute() == above->route);
        if (router.depth == depth && childOfAbove) {
            candidates.push_back(&router);
        }
    }
    return candidates;
}

} // namespace

void DeviceTreeBuilder::pairTunnelEndpoints() {
    if (tunnelHeads_.empty()) {
        return;
    }
    const std::vector<Router> routers = readRouters(root_);
    // Groups in order of depth, so that a head above is paired before the heads below it.
    std::map<std::pair<int, TreeNodeIndex>, std::vector<TreeNodeIndex>> groups;
    for (const TunnelHead& head : tunnelHeads_) {
        groups[{head.depth, head.parentHead}].push_back(head.node);
    }
    std::unordered_map<TreeNodeIndex, const Router*> paired;
    for (auto& [group, heads] : groups) {
        const auto& [depth, parentHead] = group;
        const auto above = paired.find(parentHead);
        const std::vector<const Router*> candidates =
            candidateRouters(routers, depth, above == paired.end() ? nullptr : above->second);
        std::sort(heads.begin(), heads.end(), [this](TreeNodeIndex a, TreeNodeIndex b) {
            return sysfs::naturalLess(tree_.nodes[static_cast<std::size_t>(a)].devicePath,
                                      tree_.nodes[static_cast<std::size_t>(b)].devicePath);
        });
        for (std::size_t index = 0; index < heads.size(); ++index) {
            if (candidates.size() == 1) {
                paired[heads[index]] = candidates.front();
            } else if (candidates.size() == heads.size()) {
                paired[heads[index]] = candidates[index];
            }
        }
    }
    for (const auto& [head, router] : paired) {
        setProperty(head, "Tunnel Endpoint Device Vendor ID", router->vendor);
        setProperty(head, "Tunnel Endpoint Device Model ID", router->model);
        setProperty(head, "Tunnel Endpoint GUID", router->uniqueId);
    }
}

} // namespace quaylet
