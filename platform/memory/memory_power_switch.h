// MemoryPowerSwitch: switchable hardware held in memory, which records what it switched off.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/power_switch.h"

namespace quaylet {

/// Drives and routers as a test or snapshot gives them; nothing by default. A request is
/// answered from `replies` (by disk or router name), else done, and recorded in `switchedOff`
/// when done.
class MemoryPowerSwitch final : public PowerSwitch {
public:
    std::map<std::string, PowerDrive> drives; ///< By mount source (/dev/sdb1).
    std::vector<PowerRouter> routerList;
    std::map<std::string, PowerOffReply> replies;
    std::vector<std::string> switchedOff; ///< Disks and routers switched off, in order.

    /// Returns the drive listed for the mount's device path, if any.
    std::vector<PowerDrive> drivesOf(const MountEntry& mount) const override {
        const auto found = drives.find(mount.devicePath);
        return found == drives.end() ? std::vector<PowerDrive>{}
                                     : std::vector<PowerDrive>{found->second};
    }
    /// Returns `routerList`.
    std::vector<PowerRouter> routers() const override { return routerList; }
    /// Answers from `replies`, else switches `disk` off.
    PowerOffReply powerOffDrive(const std::string& disk, bool) override { return answer(disk); }
    /// Answers from `replies`, else switches `name` off.
    PowerOffReply deauthorize(const std::string& name) override { return answer(name); }

private:
    PowerOffReply answer(const std::string& name) {
        const auto found = replies.find(name);
        const PowerOffReply reply = found == replies.end() ? PowerOffReply{} : found->second;
        if (reply.error == PowerOffError::none) {
            switchedOff.push_back(name);
        }
        return reply;
    }
};

} // namespace quaylet
