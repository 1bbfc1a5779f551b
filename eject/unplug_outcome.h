// UnplugOutcome: how one unplug command ended, and the notification that tells it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "eject/holder.h"
#include "eject/power_off_step.h"
#include "platform/string_table.h"
#include "volumes/unmount_failure.h"

namespace quaylet {

/// Where one unplug command ended. The text is given by key and values, so that each front
/// end tells it from the same table.
struct UnplugOutcome {
    bool safe = false;       ///< The dock may be unplugged.
    bool unreadable = false; ///< Not safe because the system's storage could not be read.
    bool notAllowed = false; ///< Not safe because the user may not unmount the named volume.
    std::string volumeName;  ///< What still holds the storage, when not safe; may be empty.
    std::optional<std::string> processName; ///< The process found busy on a volume, if any.
    std::string textKey;                    ///< The informative text's key; empty for none.
    std::vector<std::string> textValues;    ///< The values of its place markers, in order.
    std::vector<UnmountFailure> failures;   ///< The volumes still mounted, in unmount order.
    /// Every holder of each volume still mounted or held, in the order of `failures`; empty
    /// until searched.
    std::vector<VolumeHolders> holders;
    /// What was switched off after a safe unplug, or why not; nullopt when not asked to.
    std::optional<std::vector<PowerOffStep>> powerOff;
};

/// The title, subtitle and informative text of the notification that reports an outcome.
struct UnplugNotification {
    std::string title;
    std::string subtitle;
    std::optional<std::string> informativeText; ///< None when the outcome has no text.

    friend bool operator==(const UnplugNotification&, const UnplugNotification&) = default;
};

/// Returns the notification of `outcome` in the texts of `strings`: the dock's title, the safe
/// or unsafe subtitle, and the outcome's text when it has one, followed by a line for each
/// power-off step (or one saying that there was nothing to power off) when asked for.
UnplugNotification unplugNotification(const StringTable& strings, const UnplugOutcome& outcome);

/// Returns a line for each power-off step in the texts of `strings`: what was powered off, or
/// what was left on and why; one line saying there was nothing to power off for no steps.
std::vector<std::string> powerOffLines(const StringTable& strings,
                                       const std::vector<PowerOffStep>& steps);

} // namespace quaylet
