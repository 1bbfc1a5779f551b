// The notification texts of the unplug outcomes, from the string table.
#include "cli/unplug_notification.h"

#include "cli/printable_text.h"

namespace quaylet {

UnplugNotification goodEjectNotification(const StringTable& strings) {
    return {strings.text("THUNDERBOLT_DOCK"), strings.text("SAFE_TO_UNPLUG_DOCK"), std::nullopt};
}

UnplugNotification badEjectNotification(const StringTable& strings, const std::string& volumeName,
                                        bool bootVolume,
                                        const std::optional<std::string>& processName) {
    std::string text;
    if (bootVolume) {
        text = strings.format("BUSY_BOOT_VOLUME", {volumeName});
    } else if (processName && !processName->empty()) {
        text = strings.format("BUSY_VOLUME_WITH", {volumeName, *processName});
    } else {
        text = strings.format("BUSY_VOLUME", {volumeName});
    }
    return {strings.text("THUNDERBOLT_DOCK"), strings.text("UNSAFE_TO_UNPLUG_DOCK"),
            std::move(text)};
}

std::string notificationLines(const UnplugNotification& notification) {
    std::string lines =
        printableText(notification.title) + "\n" + printableText(notification.subtitle) + "\n";
    if (notification.informativeText) {
        lines += printableText(*notification.informativeText) + "\n";
    }
    return lines;
}

} // namespace quaylet
