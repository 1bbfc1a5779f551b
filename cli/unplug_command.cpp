// The unplug command for a terminal: the shared unplug steps run one after the other, their
// outcome printed in the notification's words and returned as an exit status.
#include "cli/unplug_command.h"

#include <algorithm>

#include "cli/cli_options.h"
#include "cli/holders_report.h"
#include "cli/printable_text.h"
#include "cli/unplug_json.h"
#include "eject/power_off.h"
#include "eject/unplug_flow.h"
#include "eject/writing_estimate.h"

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
        out << holdersText(outcome.holders, strings);
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

/// The command's progress on the errors stream: one line for each volume judged and, while a
/// slow one is written out, how that goes: rewritten in place on a terminal, else a line for
/// each change. The worker calls it from one thread at a time, never at once. Each line goes
/// out whole, in one write to an unbuffered stream.
class ProgressLines {
public:
    ProgressLines(std::ostream& errors, const StringTable& strings, bool inPlace)
        : errors_(errors), strings_(strings), inPlace_(inPlace) {}

    void writing(const VolumeRecord& volume, const WritebackReading& left) {
        const std::string text =
            writingEstimateText(strings_, printablePath(volume.displayName), left);
        if (inPlace_) {
            errors_ << ("\r\033[K" + text) << std::flush;
        } else if (text != shown_) {
            errors_ << (text + "\n") << std::flush;
        }
        shown_ = text;
    }

    void volumeDone(const VolumeRecord& volume, bool unmounted) {
        std::string line;
        if (inPlace_ && !shown_.empty()) {
            line = "\r\033[K"; // the volume's own line takes the progress line's place
        }
        shown_.clear();
        line += (unmounted ? "Unmounted " : "Could not unmount ") +
                printablePath(volume.displayName) + " (" + printablePath(volume.mountPoint) + ")\n";
        errors_ << line << std::flush;
    }

private:
    std::ostream& errors_;
    const StringTable& strings_;
    bool inPlace_;
    std::string shown_; ///< The progress text shown last for the current volume; empty: none.
};

} // namespace

int runUnplugCommand(Platform& platform, const UnplugCommandOptions& options,
                     const StringTable& strings, std::ostream& out, std::ostream& errors) {
    UnplugStart start = beginUnplug(platform, options.everything);
    if (start.outcome) {
        nameBusyProcess(platform, *start.outcome); // what holds the storage the gate found
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
    ProgressLines lines(errors, strings, options.progressInPlace);
    const UnmountReports reports{
        [&lines](const VolumeRecord& volume, bool unmounted) {
            lines.volumeDone(volume, unmounted);
        },
        [&lines](const VolumeRecord& volume, const WritebackReading& left) {
            lines.writing(volume, left);
        }};
    UnplugOutcome outcome = unmountPlanned(platform, *start.plan, options.everything, reports);
    nameBusyProcess(platform, outcome, start.plan.get());
    if (outcome.safe && options.powerOff) {
        outcome.powerOff = powerOffUnplugged(platform, *start.plan);
    }
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
