// DeviceTreeBuilder, Thunderbolt part: which router each tunnelled PCIe upstream bridge leads to.
//
// The tunnel endpoint properties ("Tunnel Endpoint Device Vendor ID", "Tunnel Endpoint Device
// Model ID", "Tunnel Endpoint GUID") go on the tunnel head of each Thunderbolt/USB4 router: the
// PCIe upstream bridge through which the router's PCIe switch appears. They come from the
// router's `vendor`, `device` and `unique_id` (bus/thunderbolt/devices/D-R).
//
// The kernel does not say which router a PCI function belongs to. What it does show, and what
// the rule rests on:
//
// - Each domain directory (domainN) is a child of its host interface's PCI function (the NHI).
// - The PCIe ports a domain tunnels through: on a USB4 host whose firmware names them
//   ("usb4-host-interface"), the kernel links each such root port to the host interface as a
//   consumer (consumer:pci:0000:00:07.0 in the host interface's directory). A discrete host
//   router is a PCIe switch: its tunnel ports are the downstream ports beside the one that
//   leads to the host interface, except the one that leads to its own xHCI controller.
// - The route string of a router D-R: its depth is the number of hops (0-1 has depth 1; 0-301,
//   behind port 3 of 0-1, depth 2), its parent is the router one hop closer to the host.
//
// The rule:
//
// 1. Tunnelled functions. A function below a domain's tunnel port is tunnelled through that
//    domain. A function the kernel marks "removable" (everything below an external-facing port)
//    is tunnelled too, unless it belongs to a discrete host router itself; its domain is then
//    unknown. (pci_entries.cpp applies this as functions are made.)
// 2. Tunnel heads. Inside a tunnel, upstream and downstream ports of PCIe switches alternate,
//    so a head is the first tunnelled function on a path, or a bridge below a tunnelled
//    downstream port. The k-th head on a path has chain depth k.
// 3. Candidates. A head at depth 1 may lead to any router at depth 1 of its domain (of any
//    domain when its domain is unknown). A head at depth k > 1 may lead to the routers at
//    depth k whose parent is a candidate of the head above it.
// 4. A head with one candidate is tied to it and carries its IDs. A head with several carries
//    them all as "Tunnel Endpoint Candidates" (router name to its vendor and model IDs) and no
//    IDs of its own; the device-behind-dock test treats storage below it as behind the dock
//    when one of them is a dock, since it cannot tell which of them carries it. A head with
//    none carries nothing: it is a PCIe switch inside the device of the head above (a dock's
//    own switch behind its downstream port), which the walk up from below then meets.
//
// Limits: two devices with PCIe on the ports of one domain (a dock and an enclosure on the two
// ports of one host) cannot be told apart, nor a dock from a router without PCIe beside it (a
// USB4 hub, a display): all their storage counts as behind the dock when one is a dock. An
// integrated host whose firmware names no ports and a kernel that marks nothing "removable"
// (before 5.12) show no tunnel at all. A function marked removable below no known tunnel port
// (an external-facing slot that is no Thunderbolt port) may lead to any router at its depth,
// so with a dock about its storage counts as the dock's. A switch inside a device at depth k
// that has a router chained behind it at the same depth is tied to that router like the
// chained device's own. The IOMMU placement (`iommu_dma_protection` of a domain, IOMMU groups)
// says nothing about which router a function sits behind and is not used.
#include <algorithm>
#include <map>

#include "platform/linux/device_tree_builder.h"
#include "platform/linux/sysfs_reader.h"

namespace quaylet {
namespace {

using Candidates = std::vector<const ThunderboltRouter*>;

/// The routers at `depth` in `domain` (any domain when null) whose parent is among `above`
/// (any parent when null).
Candidates candidateRouters(const std::vector<ThunderboltRouter>& routers, int depth,
                            const std::uint64_t* domain, const Candidates* above) {
    Candidates candidates;
    for (const ThunderboltRouter& router : routers) {
        const bool inDomain = domain == nullptr || router.domain == *domain;
        const bool childOfAbove =
            above == nullptr ||
            std::any_of(above->begin(), above->end(), [&](const ThunderboltRouter* parent) {
                return router.domain == parent->domain && router.parentRoute() == parent->route;
            });
        if (router.depth == depth && inDomain && childOfAbove) {
            candidates.push_back(&router);
        }
    }
    return candidates;
}

PropertyDictionary endpointIds(const ThunderboltRouter& router) {
    return {{"Tunnel Endpoint Device Vendor ID", router.vendor},
            {"Tunnel Endpoint Device Model ID", router.model}};
}

} // namespace

void DeviceTreeBuilder::pairTunnelEndpoints() {
    // By depth, so that the candidates of the head above are known before the heads below.
    std::vector<TunnelHead> heads = tunnelHeads_;
    std::stable_sort(heads.begin(), heads.end(),
                     [](const TunnelHead& a, const TunnelHead& b) { return a.depth < b.depth; });
    std::map<TreeNodeIndex, Candidates> candidatesOf;
    for (const TunnelHead& head : heads) {
        const auto above = candidatesOf.find(head.parentHead);
        const Candidates* parents = above == candidatesOf.end() ? nullptr : &above->second;
        if (head.depth > 1 && parents == nullptr) {
            continue; // the head above leads nowhere we know: nor can this one
        }
        const std::uint64_t* domain =
            head.domain < 0 ? nullptr
                            : &thunderbolt_.domains[static_cast<std::size_t>(head.domain)].number;
        Candidates candidates = candidateRouters(thunderbolt_.routers, head.depth, domain, parents);
        if (candidates.empty() && parents != nullptr) {
            // A switch inside the device above: it leads where the head above leads.
            candidatesOf[head.node] = *parents;
            continue;
        }
        if (candidates.size() == 1) {
            const ThunderboltRouter& router = *candidates.front();
            setProperty(head.node, "Tunnel Endpoint Device Vendor ID", router.vendor);
            setProperty(head.node, "Tunnel Endpoint Device Model ID", router.model);
            setProperty(head.node, "Tunnel Endpoint GUID", router.uniqueId);
        } else if (candidates.size() > 1) {
            PropertyDictionary all;
            for (const ThunderboltRouter* router : candidates) {
                all.emplace(router->name, endpointIds(*router));
            }
            setProperty(head.node, "Tunnel Endpoint Candidates", std::move(all));
        }
        candidatesOf[head.node] = std::move(candidates);
    }
}

} // namespace quaylet
