// The unplug command for a terminal: the shared unplug steps run one after the other, their
// outcome printed in the notification's words and returned as an exit status.
#include "cli/unplug_command.h"

#include <algorithm>

#include "cli/cli_options.h"
#include "cli/printable_text.h"
#include "cli/unplug_json.h"
#include "eject/unplug_flow.h"

namespace quaylet {
namespace {

/// Prints the notification's texts one a line, each made safe for a terminal, or the outcome as
/// JSON, and returns the exit status of the outcome.
int report(const UnplugOutcome& outcome, const StringTable& strings, bool json, std::ostream& out) {
    const UnplugNotification notification = unplugNotification(strings, outcome);
    if (json) {
        out << unplugJson(outcome, notification);
    } else {
        out << printableText(notification.title) << "\n"
            << printableText(notification.subtitle) << "\n";
        if (notification.informativeText) {
            out << printableText(*notification.informativeText) << "\n";
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
    if (outcome.notAllowed && !options.interactionHint.empty()) {
        errors << options.interactionHint << std::endl;
    }
    const bool inUse = std::any_of(
        outcome.failures.begin(), outcome.failures.end(),
        [](const UnmountFailure& failure) { return failure.cause == UnmountCause::busy; });
    if (!options.quitHolders || !inUse) {
        return report(outcome, strings, options.json, out);
    }
    const int status = options.json ? kExitUnsafe : report(outcome, strings, false, out);
    if (!quitHolders(platform, outcome, options.quitDialog, strings, errors)) {
        return options.json ? report(outcome, strings, true, out) : status;
    }
    errors << strings.text("QUIT_RETRY") << std::endl;
    UnplugCommandOptions again = options;
    again.quitHolders = false;
    return runUnplugCommand(platform, again, strings, out, errors);
}

} // namespace quaylet
