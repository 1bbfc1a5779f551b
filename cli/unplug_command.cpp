// The unplug command for a terminal: the shared unplug steps run one after the other, their
// outcome printed in the notification's words and returned as an exit status.
#include "cli/unplug_command.h"

#include "cli/cli_options.h"
#include "cli/printable_text.h"
#include "cli/unplug_json.h"
#include "eject/power_off.h"
#include "eject/unplug_flow.h"

namespace quaylet {
namespace {

/// Prints the notification's texts one a line, each made safe for a terminal, or the outcome as
/// JSON, and returns the exit status of the outcome.
int report(const UnplugOutcome& outcome, const StringTable& strings, bool json, std::ostream& out) {
    if (json) {
        out << unplugJson(outcome, unplugNotification(strings, outcome));
    } else {
        UnplugOutcome withoutPowerOff = outcome;
        withoutPowerOff.powerOff.reset();
        const UnplugNotification notification = unplugNotification(strings, withoutPowerOff);
        out << printableText(notification.title) << "\n"
            << printableText(notification.subtitle) << "\n";
        if (notification.informativeText) {
            out << printableText(*notification.informativeText) << "\n";
        }
        // One line each, so that a name with a line break cannot split them.
        if (outcome.powerOff) {
            for (const std::string& line : powerOffLines(strings, *outcome.powerOff)) {
                out << printableText(line) << "\n";
            }
        }
    }
    if (outcome.safe) {
        return kExitSafe;
    }
    return outcome.unreadable ? kExitUsage : kExitUnsafe;
}

} // namespace

int runUnplugCommand(Platform& platform, const UnplugCommandOptions& options,
                     const StringTable& strings, std::ostream& out, std::ostream& errors) {
    UnplugStart start = beginUnplug(platform, options.everything);
    if (start.outcome) {
        if (start.outcome->unreadable && !options.json) {
            errors << "quaylet-cli: " << strings.text(start.outcome->textKey) << std::endl;
            return kExitUsage;
        }
        if (start.outcome->safe) {
            errors << strings.text("STATUS_NOTHING_TO_UNMOUNT") << std::endl;
            if (options.powerOff && options.unmountForbidden.empty()) {
                start.outcome->powerOff = powerOffUnplugged(platform, UnplugPlan());
            }
        }
        return report(*start.outcome, strings, options.json, out);
    }
    if (!options.unmountForbidden.empty()) {
        errors << "quaylet-cli: nothing was unmounted: " << options.unmountForbidden << std::endl;
        return kExitUsage;
    }
    const auto progress = [&errors](const VolumeRecord& volume, bool unmounted) {
        errors << (unmounted ? "Unmounted " : "Could not unmount ")
               << printablePath(volume.displayName) << " (" << printablePath(volume.mountPoint)
               << ")" << std::endl;
    };
    UnplugOutcome outcome = unmountPlanned(platform, *start.plan, options.everything, progress);
    nameBusyProcess(platform, outcome);
    if (outcome.safe && options.powerOff) {
        outcome.powerOff = powerOffUnplugged(platform, *start.plan);
    }
    if (outcome.notAllowed && !options.interactionHint.empty()) {
        errors << options.interactionHint << std::endl;
    }
    return report(outcome, strings, options.json, out);
}

} // namespace quaylet
