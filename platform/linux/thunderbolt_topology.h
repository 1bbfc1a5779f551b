// ThunderboltTopology: the Thunderbolt/USB4 domains, their routers and the PCIe ports they own.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quaylet {

/// One authorised device router (bus/thunderbolt/devices/D-R), never the host router.
struct ThunderboltRouter {
    std::string name; ///< D-R, as 0-301.
    std::uint64_t domain = 0;
    std::uint64_t route = 0;
    int depth = 0; ///< Hops from the host: 1 for 0-1, 2 for 0-301.
    std::uint32_t vendor = 0;
    std::uint32_t model = 0;
    std::string uniqueId;

    /// The route of the router one hop closer to the host (0 for the host router).
    std::uint64_t parentRoute() const;
};

/// One domain: a host router and the PCIe ports through which its tunnels reach the computer.
struct ThunderboltDomain {
    std::uint64_t number = 0;
    std::string nhiPath;    ///< The host interface's PCI function (/devices/...).
    std::string switchPath; ///< A discrete host router's PCIe upstream port; empty when integrated.
    std::vector<std::string> tunnelPorts; ///< PCIe ports whose subordinate buses carry tunnels.
};

/// What the kernel shows of Thunderbolt/USB4: domains and routers. Paths are below the root.
struct ThunderboltTopology {
    std::vector<ThunderboltDomain> domains;
    std::vector<ThunderboltRouter> routers; ///< By domain and route.

    /// Returns the index of the domain whose tunnel port lies strictly above `devicePath`, or
    /// -1 when none does.
    int domainBelowTunnelPort(std::string_view devicePath) const;
    /// Returns whether `devicePath` is a function of a discrete host router itself: at or below
    /// its upstream port and not below one of its tunnel ports.
    bool isHostRouterFunction(std::string_view devicePath) const;
};

/// Reads the domains and authorised device routers of the sysfs tree at `root`. Missing parts
/// read as empty lists.
ThunderboltTopology readThunderboltTopology(const std::string& root);

} // namespace quaylet
