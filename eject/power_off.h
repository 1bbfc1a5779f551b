// Switching off what an unplug command has unmounted: the USB drives of its volumes, then the
// dock itself, each only when nothing on it is in use any more.
#pragma once

#include <vector>

#include "eject/power_off_step.h"
#include "platform/platform.h"
#include "volumes/unplug_plan.h"

namespace quaylet {

/// After `plan` was unmounted, powers off each USB drive that carries one of its dock or
/// external volumes (through stacks such as LVM), then de-authorizes each dock router (the
/// outermost of chained docks), which takes all storage tunnelled through its domain with it.
/// Right before each, the storage usage is read afresh: a drive or dock with anything
/// mounted, swapped on or attached from it, or with the root file system on it, is left on.
/// Returns one step per drive and dock, in that order; empty when the platform can switch
/// nothing off. Blocks.
std::vector<PowerOffStep> powerOffUnplugged(Platform& platform, const UnplugPlan& plan);

} // namespace quaylet
