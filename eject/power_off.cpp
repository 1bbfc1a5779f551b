// Switching off the unplugged drives and the dock, each after a fresh look at what uses it.
#include "eject/power_off.h"

#include <algorithm>
#include <map>

#include "dock/dock_identity.h"
#include "eject/release_gate.h"

namespace quaylet {
namespace {

using Result = PowerOffStep::Result;

/// Judges whether anything still uses `disks`; a step with no result to report (poweredOff)
/// means they may be switched off.
PowerOffStep judge(Platform& platform, PowerOffStep step, const std::vector<std::string>& disks) {
    const ReleaseCheck check =
        checkDevicesReleased(*platform.fileManager, platform.storageUsage->read(), disks);
    const auto root = std::find_if(check.holds.begin(), check.holds.end(), [](const auto& hold) {
        return hold.kind == RemainingHold::Kind::MountedVolume && hold.path == "/";
    });
    if (root != check.holds.end()) {
        step.result = Result::bootDisk;
    } else if (!check.complete) {
        step.result = Result::unreadable;
        step.detail = check.unreadable;
    } else if (!check.holds.empty()) {
        step.result = Result::inUse;
        step.detail = check.holds.front().name;
    }
    return step;
}

PowerOffStep stepFor(PowerOffStep::Kind kind, std::string name, std::string displayName) {
    PowerOffStep step;
    step.kind = kind;
    step.name = std::move(name);
    step.displayName = std::move(displayName);
    return step;
}

void takeReply(PowerOffStep& step, const PowerOffReply& reply) {
    step.detail = reply.message;
    switch (reply.error) {
    case PowerOffError::none:
        step.result = Result::poweredOff;
        step.detail.clear();
        break;
    case PowerOffError::unavailable:
        step.result = Result::noService;
        break;
    case PowerOffError::unsupported:
        step.result = Result::unsupported;
        break;
    case PowerOffError::notAllowed:
        step.result = Result::notAllowed;
        break;
    case PowerOffError::failed:
        step.result = Result::failed;
        break;
    }
}

std::vector<PowerDrive> plannedDrives(const PowerSwitch& power, const UnplugPlan& plan) {
    std::vector<PowerDrive> drives;
    for (const auto* list : {&plan.dockVolumes, &plan.externalVolumes}) {
        for (const VolumeRecord& volume : *list) {
            const MountEntry mount{volume.devicePath, volume.mountPoint, {}, volume.deviceNumber};
            for (const PowerDrive& drive : power.drivesOf(mount)) {
                if (std::find(drives.begin(), drives.end(), drive) == drives.end()) {
                    drives.push_back(drive);
                }
            }
        }
    }
    return drives;
}

/// The dock routers not chained behind another dock router: de-authorizing one removes the
/// PCIe devices of everything behind it too.
std::vector<PowerRouter> outermostDocks(const std::vector<PowerRouter>& routers) {
    std::map<std::string, const PowerRouter*> byName;
    for (const PowerRouter& router : routers) {
        byName.emplace(router.name, &router);
    }
    const auto isDock = [](const PowerRouter& router) {
        return isDockTunnelId(router.vendor, router.model);
    };
    std::vector<PowerRouter> docks;
    for (const PowerRouter& router : routers) {
        bool behindDock = false;
        for (auto up = byName.find(router.parent); up != byName.end() && !behindDock;
             up = byName.find(up->second->parent)) {
            behindDock = isDock(*up->second);
        }
        if (isDock(router) && !behindDock) {
            docks.push_back(router);
        }
    }
    return docks;
}

} // namespace

std::vector<PowerOffStep> powerOffUnplugged(Platform& platform, const UnplugPlan& plan) {
    std::vector<PowerOffStep> steps;
    if (!platform.powerSwitch || !platform.storageUsage) {
        return steps;
    }
    PowerSwitch& power = *platform.powerSwitch;
    for (const PowerDrive& drive : plannedDrives(power, plan)) {
        PowerOffStep step = judge(
            platform, stepFor(PowerOffStep::Kind::Drive, drive.disk, drive.name), {drive.disk});
        if (step.result == Result::poweredOff) {
            takeReply(step, power.powerOffDrive(drive.disk, platform.toolCommands.interactive()));
        }
        steps.push_back(std::move(step));
    }
    for (const PowerRouter& dock : outermostDocks(power.routers())) {
        PowerOffStep step = stepFor(PowerOffStep::Kind::Dock, dock.name, dock.displayName);
        if (!dock.deauthorizable) {
            step.result = Result::notDeauthorizable;
        } else if (step = judge(platform, step, dock.disks); step.result == Result::poweredOff) {
            takeReply(step, power.deauthorize(dock.name));
        }
        steps.push_back(std::move(step));
    }
    return steps;
}

} // namespace quaylet
