// UnmountFailure: a volume that stayed mounted, or that must not be unmounted.
#pragma once

#include <cstdint>
#include <string>

#include "platform/unmount_cause.h"
#include "volumes/volume_record.h"

namespace quaylet {

/// Status of the failure that refuses to unmount the boot volume.
inline constexpr std::int32_t kBootVolumeStatus = -47;
/// Message of the failure that refuses to unmount the boot volume.
inline constexpr const char* kBootVolumeMessage = "is the boot volume";

/// A volume that was not unmounted: the volume's four record fields, then why, then a status.
struct UnmountFailure {
    std::string devicePath;
    std::string mountPoint;
    std::string displayName;
    std::string imagePath;
    std::string message;
    std::int32_t status = 0;
    /// Why it stayed mounted, as the disk tool said; busy when it did not say.
    UnmountCause cause = UnmountCause::busy;

    /// Makes a failure from a volume's record and the reason it stayed mounted.
    static UnmountFailure fromVolume(const VolumeRecord& volume, std::string message,
                                     std::int32_t status);

    friend bool operator==(const UnmountFailure&, const UnmountFailure&) = default;
};

} // namespace quaylet
