// The notification texts of an unplug outcome, from the string table.
#include "eject/unplug_outcome.h"

namespace quaylet {
namespace {

std::string powerOffLine(const StringTable& strings, const PowerOffStep& step) {
    const auto key = [&]() -> const char* {
        switch (step.result) {
        case PowerOffStep::Result::poweredOff:
            return "POWERED_OFF";
        case PowerOffStep::Result::inUse:
            return "NOT_POWERED_OFF_IN_USE";
        case PowerOffStep::Result::bootDisk:
            return "NOT_POWERED_OFF_BOOT_DISK";
        case PowerOffStep::Result::unreadable:
            return "NOT_POWERED_OFF_UNREADABLE";
        case PowerOffStep::Result::notDeauthorizable:
            return "NOT_POWERED_OFF_DOMAIN";
        case PowerOffStep::Result::noService:
            return "NOT_POWERED_OFF_NO_UDISKS";
        case PowerOffStep::Result::notAllowed:
            return "NOT_POWERED_OFF_NOT_ALLOWED";
        case PowerOffStep::Result::unsupported:
            return "NOT_POWERED_OFF_UNSUPPORTED";
        case PowerOffStep::Result::failed:
            break;
        }
        return "NOT_POWERED_OFF_FAILED";
    };
    return strings.format(key(), {step.displayName, step.detail});
}

} // namespace

std::vector<std::string> powerOffLines(const StringTable& strings,
                                       const std::vector<PowerOffStep>& steps) {
    if (steps.empty()) {
        return {strings.text("NOTHING_TO_POWER_OFF")};
    }
    std::vector<std::string> lines;
    for (const PowerOffStep& step : steps) {
        lines.push_back(powerOffLine(strings, step));
    }
    return lines;
}

UnplugNotification unplugNotification(const StringTable& strings, const UnplugOutcome& outcome) {
    UnplugNotification notification{
        strings.text("THUNDERBOLT_DOCK"),
        strings.text(outcome.safe ? "SAFE_TO_UNPLUG_DOCK" : "UNSAFE_TO_UNPLUG_DOCK"), std::nullopt};
    if (!outcome.textKey.empty()) {
        notification.informativeText = strings.format(outcome.textKey, outcome.textValues);
    }
    if (outcome.powerOff) {
        for (const std::string& line : powerOffLines(strings, *outcome.powerOff)) {
            notification.informativeText =
                notification.informativeText ? *notification.informativeText + "\n" + line : line;
        }
    }
    return notification;
}

} // namespace quaylet
