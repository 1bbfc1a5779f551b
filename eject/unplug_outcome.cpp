// The notification texts of an unplug outcome, from the string table.
#include "eject/unplug_outcome.h"

namespace quaylet {

UnplugNotification unplugNotification(const StringTable& strings, const UnplugOutcome& outcome) {
    UnplugNotification notification{
        strings.text("THUNDERBOLT_DOCK"),
        strings.text(outcome.safe ? "SAFE_TO_UNPLUG_DOCK" : "UNSAFE_TO_UNPLUG_DOCK"), std::nullopt};
    if (!outcome.textKey.empty()) {
        notification.informativeText = strings.format(outcome.textKey, outcome.textValues);
    }
    return notification;
}

} // namespace quaylet
