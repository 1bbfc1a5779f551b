// The registry services of a mounted volume's disk: the whole disk, the volume, their kind.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/device_naming.h"
#include "platform/registry.h"
#include "platform/registry_object.h"

namespace quaylet {

/// Returns the whole disk that carries the volume at `devicePath`; empty when there is none.
RegistryObject wholeDiskService(Registry& registry, const DeviceNaming& naming,
                                std::string_view devicePath);

/// Returns the whole disks that carry the mounted file system `mount`: each disk at the
/// bottom of a stacked volume (device-mapper, md, multi-device btrfs); empty when none.
std::vector<RegistryObject> mountedDiskServices(Registry& registry, const DeviceNaming& naming,
                                                const MountEntry& mount);

/// Returns the volume's own media service; empty when there is none.
RegistryObject volumeService(Registry& registry, const DeviceNaming& naming,
                             std::string_view devicePath);

/// Returns whether the nearest block-storage device above `disk` says its interconnect is
/// "External" (any case); false for 0, a missing or odd property, or an odd "image-path" met
/// on the way. Neither retains nor releases `disk`.
bool isExternalStorage(Registry& registry, RegistryHandle disk);

/// Empties `imagePath`, then returns whether the nearest "image-path" above `volume` is data
/// of at least one byte, and sets `imagePath` to those bytes. False for 0 or when none is
/// found. Neither retains nor releases `volume`.
bool diskImagePath(Registry& registry, RegistryHandle volume, std::string& imagePath);

} // namespace quaylet
