// PowerSwitch: the hardware behind storage that can be switched off in software once nothing
// uses it: USB drives (through udisks2) and Thunderbolt/USB4 device routers (de-authorized).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/mount_table.h"

namespace quaylet {

/// A USB drive: the whole disk it shows as, and the name it tells of itself.
struct PowerDrive {
    std::string disk; ///< The whole disk's kernel name (sdb).
    std::string name; ///< Its vendor and model ("SanDisk Extreme"); the disk's name when unknown.

    friend bool operator==(const PowerDrive&, const PowerDrive&) = default;
};

/// An authorised Thunderbolt/USB4 device router and the storage that goes with it.
struct PowerRouter {
    std::string name;         ///< D-R, as 0-1.
    std::string parent;       ///< The router one hop closer to the host; empty for the host router.
    std::string displayName;  ///< Its vendor and device names ("Dock Maker TB3 Dock").
    std::uint32_t vendor = 0; ///< Its vendor ID.
    std::uint32_t model = 0;  ///< Its device ID.
    bool deauthorizable = false; ///< Its domain's connection manager can de-authorize it.
    /// The block devices (whole disks, kernel names) tunnelled through its domain, or through a
    /// domain unknown: everything that may go with it, since the kernel does not say which
    /// router a PCIe function is on.
    std::vector<std::string> disks;
};

/// Why the platform did not switch something off.
enum class PowerOffError {
    none,        ///< It was switched off.
    unavailable, ///< The service that does it is not running (udisks2).
    unsupported, ///< The hardware cannot be switched off this way, or the service knows it not.
    notAllowed,  ///< The user may not (polkit's refusal, or no write access to the attribute).
    failed,      ///< It was tried and did not work.
};

/// How one request ended; `message` is the service's or the kernel's own explanation.
struct PowerOffReply {
    PowerOffError error = PowerOffError::none;
    std::string message;
};

/// The machine's switchable hardware and the two ways of switching it off.
class PowerSwitch {
public:
    virtual ~PowerSwitch() = default;
    /// Returns the USB drives that carry the file system `mount` was mounted from: its disk,
    /// or each disk at the bottom of a stack (LVM, LUKS, RAID) that is one; empty when it lies
    /// on no USB drive or is unknown.
    virtual std::vector<PowerDrive> drivesOf(const MountEntry& mount) const = 0;
    /// Returns the authorised device routers, by domain and route; empty without any.
    virtual std::vector<PowerRouter> routers() const = 0;
    /// Powers off the USB drive whose whole disk is `disk`, through udisks2; with
    /// `interactive`, polkit may ask the user for a password.
    virtual PowerOffReply powerOffDrive(const std::string& disk, bool interactive) = 0;
    /// De-authorizes router `name` (its `authorized` attribute set to 0), so that the kernel
    /// removes the PCIe devices tunnelled to it.
    virtual PowerOffReply deauthorize(const std::string& name) = 0;
};

} // namespace quaylet
