// UnplugNotification: the words that tell the outcome of an unplug command.
#pragma once

#include <optional>
#include <string>

#include "cli/string_table.h"

namespace quaylet {

/// The title, subtitle and informative text of the notification that reports an outcome.
struct UnplugNotification {
    std::string title;
    std::string subtitle;
    std::optional<std::string> informativeText; ///< None for the safe-to-unplug outcome.

    friend bool operator==(const UnplugNotification&, const UnplugNotification&) = default;
};

/// Returns the notification saying that the dock may be unplugged.
UnplugNotification goodEjectNotification(const StringTable& strings);

/// Returns the notification saying that the dock may not be unplugged yet: the boot volume
/// `volumeName` is behind it (`bootVolume`), or volume `volumeName` is still mounted, kept busy
/// by `processName` when that is given and not empty.
UnplugNotification badEjectNotification(const StringTable& strings, const std::string& volumeName,
                                        bool bootVolume,
                                        const std::optional<std::string>& processName);

/// Returns the notification's texts one a line, each made safe for a terminal.
std::string notificationLines(const UnplugNotification& notification);

} // namespace quaylet
