// The dock's USB topology: the hub rule and the port rule.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "dock/behind_dock.h"
#include "dock/dock_identity.h"
#include "platform/registry.h"

namespace quaylet {

/// Returns HubRule or PortRule when `service` sits on the dock's USB tree, None otherwise.
DockRule dockUsbTopologyRule(Registry& registry, RegistryHandle service);

/// Returns whether `service` sits on the dock's USB tree, by the hub rule or the port rule.
bool isOnDockUsbTopology(Registry& registry, RegistryHandle service);

/// Returns the locationID of every dock presence device present, in enumeration order.
std::vector<std::uint32_t> dockPresenceLocations(Registry& registry);

/// Returns the dock's candidate port locations derived from the presence locations.
std::vector<std::uint32_t> dockPortCandidates(const std::vector<std::uint32_t>& presenceLocations);

/// Returns whether the parent of hub `hub` carries one of `pairs`.
bool hubParentMatches(Registry& registry, RegistryHandle hub, std::span<const UsbIdPair> pairs);

} // namespace quaylet
