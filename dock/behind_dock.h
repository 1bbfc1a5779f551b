// The device-behind-dock test: does a storage service sit behind a Thunderbolt dock?
#pragma once

#include "platform/registry.h"

namespace quaylet {

/// Which sign showed a service to be behind the dock.
enum class DockRule {
    None,           ///< Not behind the dock.
    TunnelEndpoint, ///< A tunnelled PCI device whose far endpoint is a dock.
    DockUsbIds,     ///< One of the dock's own USB hub devices on the path.
    HubRule,        ///< The highest USB hub on the path belongs to the dock.
    PortRule,       ///< A USB port on the path is one of the dock's ports.
    UntiedTunnel,   ///< Tunnelled through one of several routers, a dock among them: unsure.
};

/// Returns the first sign, in the test's order, that `service` sits behind a dock; None when
/// there is none. Neither retains nor releases `service` (0 is allowed).
DockRule behindDockRule(Registry& registry, RegistryHandle service);

/// Returns whether `service` sits behind a dock.
bool isServiceBehindDock(Registry& registry, RegistryHandle service);

/// Returns whether `pciDevice` lists, among the routers its tunnel may end at ("Tunnel Endpoint
/// Candidates"), one that is a dock; false when it lists none.
bool mayTunnelToDock(Registry& registry, RegistryHandle pciDevice);

/// Returns whether the tunnel of the tunnelled PCI device `pciDevice` ends at a dock.
bool isDockTunnelEndpoint(Registry& registry, RegistryHandle pciDevice);

} // namespace quaylet
