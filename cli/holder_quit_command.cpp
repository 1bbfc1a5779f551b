// Quitting, from a terminal, the processes that keep the volumes of an unplug busy: one
// question, the polite request, a bounded wait on the processes' pidfds, and a second question
// before anything is ended by force.
#include "cli/holder_quit_command.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include <poll.h>

#include "cli/printable_text.h"
#include "eject/holder_quit.h"

namespace quaylet {
namespace {

using Clock = std::chrono::steady_clock;

/// Reads one answer; yes only for "y", "yes", "j" or "ja" in any case.
bool askYes(const QuitDialog& dialog, const std::string& question, std::ostream& errors) {
    if (dialog.answers == nullptr) {
        return false;
    }
    errors << question << " [y/N] " << std::flush;
    std::string answer;
    if (!std::getline(*dialog.answers, answer)) {
        errors << std::endl;
        return false;
    }
    for (char& c : answer) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return answer == "y" || answer == "yes" || answer == "j" || answer == "ja";
}

std::string describe(const StringTable& strings, std::string_view key, const Holder& holder,
                     const std::vector<std::string>& more = {}) {
    std::vector<std::string> values{holderName(holder), std::to_string(holder.pid)};
    values.insert(values.end(), more.begin(), more.end());
    return printableText(strings.format(key, values));
}

/// Waits until every process of `held` has ended or `deadline` has passed, telling of each end
/// as it comes. Sleeps in poll on the pidfds, so nothing runs while it waits.
void waitForEnds(std::vector<HeldHolder*>& held, Clock::time_point deadline,
                 const StringTable& strings, std::ostream& errors) {
    for (;;) {
        std::vector<pollfd> descriptors;
        for (auto it = held.begin(); it != held.end();) {
            if ((*it)->process->hasEnded()) {
                errors << describe(strings, "QUIT_ENDED", (*it)->holder) << std::endl;
                it = held.erase(it);
                continue;
            }
            descriptors.push_back({(*it)->process->endDescriptor(), POLLIN, 0});
            ++it;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (held.empty() || left.count() <= 0) {
            return;
        }
        ::poll(descriptors.data(), descriptors.size(), static_cast<int>(left.count()));
    }
}

/// Lists what will be asked to quit and what is left alone; returns the processes to quit.
std::vector<HeldHolder*> listHolders(std::vector<HeldHolder>& held, const StringTable& strings,
                                     std::ostream& errors) {
    std::vector<HeldHolder*> quittable;
    for (HeldHolder& one : held) {
        if (one.process) {
            quittable.push_back(&one);
        }
    }
    if (!quittable.empty()) {
        errors << printableText(strings.text("QUIT_HOLDERS_LIST")) << std::endl;
        for (const HeldHolder* one : quittable) {
            errors << "  " << describe(strings, "QUIT_HOLDER_LINE", one->holder) << std::endl;
        }
    }
    for (const HeldHolder& one : held) {
        if (!one.process) {
            errors << describe(strings, quitRefusalTextKey(one.refusal), one.holder) << std::endl;
        }
    }
    return quittable;
}

/// Asks the first question, unless --yes answered it; without a terminal, says how to go on.
bool confirmed(const QuitDialog& dialog, const StringTable& strings, std::ostream& errors) {
    if (dialog.assumeYes) {
        return true;
    }
    if (dialog.answers == nullptr) {
        errors << "quaylet-cli: --quit-holders asks before it quits anything, and there is no "
                  "terminal to ask on; add --yes to quit them without being asked."
               << std::endl;
        return false;
    }
    return askYes(dialog, strings.text("QUIT_HOLDERS_QUESTION"), errors);
}

/// Asks each process of `quitting` to end; drops those that could not be asked.
void sendRequests(std::vector<HeldHolder*>& quitting, ApplicationBus* bus,
                  const StringTable& strings, std::ostream& errors) {
    for (auto it = quitting.begin(); it != quitting.end();) {
        HeldHolder& one = **it;
        const QuitRequest request = requestQuit(*one.process, one.holder, bus);
        errors << describe(strings,
                           request == QuitRequest::ApplicationQuit ? "QUIT_SENT_APPLICATION"
                           : request == QuitRequest::Terminate     ? "QUIT_SENT_TERMINATE"
                                                                   : "QUIT_NOT_SENT",
                           one.holder)
               << std::endl;
        it = request == QuitRequest::Failed ? quitting.erase(it) : it + 1;
    }
}

/// Asks, for each process of `quitting` still running, whether to end it with SIGKILL, and
/// sends it where the answer is yes; lets go of the others, which are no longer waited for.
void endByForce(std::vector<HeldHolder*>& quitting, const QuitDialog& dialog,
                const StringTable& strings, std::ostream& errors) {
    for (HeldHolder* one : quitting) {
        errors << describe(strings, "QUIT_NOT_ENDED", one->holder,
                           {std::to_string(kQuitWaitSeconds)})
               << std::endl;
        if (askYes(dialog, describe(strings, "FORCE_QUIT_CONFIRM", one->holder), errors) &&
            one->process->send(EndSignal::Kill)) {
            continue;
        }
        errors << describe(strings, "QUIT_LEFT_RUNNING", one->holder) << std::endl;
        one->process.reset();
    }
    std::erase_if(quitting, [](const HeldHolder* one) { return !one->process; });
}

} // namespace

bool quitHolders(Platform& platform, const UnplugOutcome& outcome, const QuitDialog& dialog,
                 const StringTable& strings, std::ostream& errors) {
    const std::optional<QuitCaller> caller = quitCaller(*platform.processSignals);
    std::vector<HeldHolder> held;
    if (caller) {
        for (const Holder& holder : processHolders(platform, outcome)) {
            held.push_back(holdForQuit(*platform.processSignals, *caller, holder));
        }
    }
    std::vector<HeldHolder*> quitting = listHolders(held, strings, errors);
    if (quitting.empty()) {
        errors << printableText(strings.text("QUIT_HOLDERS_NONE")) << std::endl;
        return false;
    }
    if (!confirmed(dialog, strings, errors)) {
        return false;
    }
    sendRequests(quitting, platform.applicationBus.get(), strings, errors);
    if (!quitting.empty()) {
        errors << printableText(
                      strings.format("QUIT_WAITING_ALL", {std::to_string(kQuitWaitSeconds)}))
               << std::endl;
    }
    waitForEnds(quitting, Clock::now() + std::chrono::seconds(kQuitWaitSeconds), strings, errors);
    endByForce(quitting, dialog, strings, errors);
    // SIGKILL ends a process at once, unless it waits on a device; a few seconds then.
    waitForEnds(quitting, Clock::now() + std::chrono::seconds(5), strings, errors);
    return std::any_of(held.begin(), held.end(), [](const HeldHolder& one) {
        return one.process && one.process->hasEnded();
    });
}

} // namespace quaylet
