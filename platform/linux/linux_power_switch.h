// LinuxPowerSwitch: USB drives powered off through udisks2, Thunderbolt/USB4 routers
// de-authorized through sysfs.
#pragma once

#include <string>

#include "platform/linux/linux_device_naming.h"
#include "platform/power_switch.h"

namespace quaylet {

/// Reads the switchable hardware from the sysfs tree under `sysfsRoot` and writes the routers'
/// `authorized` attributes there, so that a copied tree takes the writes of a test. USB drives
/// are powered off by udisks2 on the system bus.
class LinuxPowerSwitch final : public PowerSwitch {
public:
    /// A switch over the tree at `sysfsRoot`, whose mount sources are `nodes` (as the device
    /// naming takes them).
    LinuxPowerSwitch(std::string sysfsRoot, MountSourceNodes nodes);

    /// Returns the whole disks at the bottom of `mount`'s stack that have a USB device among
    /// their ancestors.
    std::vector<PowerDrive> drivesOf(const MountEntry& mount) const override;
    /// Returns the authorised device routers, each with its domain's `deauthorization`
    /// attribute and the whole disks below the domain's tunnel ports.
    std::vector<PowerRouter> routers() const override;
    /// Asks udisks2 to power off the drive of whole disk `disk` (Drive.PowerOff); unavailable
    /// without udisks2, unsupported when udisks knows no drive that it is on.
    PowerOffReply powerOffDrive(const std::string& disk, bool interactive) override;
    /// Writes "0" to bus/thunderbolt/devices/NAME/authorized; notAllowed without write access.
    PowerOffReply deauthorize(const std::string& name) override;

private:
    std::string root_;
    LinuxDeviceNaming naming_;
};

} // namespace quaylet
