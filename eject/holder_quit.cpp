// Which holders may be ended, and the polite request to end them.
#include "eject/holder_quit.h"

#include <algorithm>
#include <set>

#include "eject/busy_process_finder.h"

namespace quaylet {

QuitRefusal quitRefusal(const ProcessFacts& target, const QuitCaller& caller) {
    if (target.pid == 1) {
        return QuitRefusal::FirstProcess;
    }
    if (target.pid == caller.self.pid || std::find(caller.ancestors.begin(), caller.ancestors.end(),
                                                   target.pid) != caller.ancestors.end()) {
        return QuitRefusal::Caller;
    }
    if (target.kernelThread) {
        return QuitRefusal::KernelThread;
    }
    const std::uint32_t own = caller.self.realUid;
    if (target.realUid != own || target.effectiveUid != own || target.savedUid != own ||
        target.fileSystemUid != own) {
        return QuitRefusal::OtherUser;
    }
    // The same uid is not enough: for root it is every service of the system. A caller that
    // comes from a login ends only what descends from the same login; one started outside any
    // login (a container, a service) only what shares its session.
    const bool sameLogin =
        caller.self.loginUid
            ? target.loginUid == caller.self.loginUid
            : !target.loginUid && target.sessionId == caller.self.sessionId && target.sessionId > 1;
    return sameLogin ? QuitRefusal::None : QuitRefusal::OutsideLogin;
}

std::string quitRefusalTextKey(QuitRefusal refusal) {
    switch (refusal) {
    case QuitRefusal::None:
        return {};
    case QuitRefusal::NotAProcess:
        return "QUIT_REFUSED_NOT_PROCESS";
    case QuitRefusal::Ended:
        return "QUIT_REFUSED_ENDED";
    case QuitRefusal::FirstProcess:
    case QuitRefusal::KernelThread:
    case QuitRefusal::OutsideLogin:
        return "QUIT_REFUSED_SYSTEM";
    case QuitRefusal::Caller:
        return "QUIT_REFUSED_CALLER";
    case QuitRefusal::OtherUser:
        return "QUIT_REFUSED_OTHER_USER";
    }
    return {};
}

std::optional<QuitCaller> quitCaller(const ProcessSignals& processes) {
    std::optional<ProcessFacts> self = processes.ownFacts();
    if (!self) {
        return std::nullopt;
    }
    return QuitCaller{*self, processes.ownAncestors()};
}

HeldHolder holdForQuit(ProcessSignals& processes, const QuitCaller& caller, const Holder& holder) {
    HeldHolder held{holder, nullptr, QuitRefusal::None};
    if (holder.kind != Holder::Kind::Process || holder.pid <= 0) {
        held.refusal = QuitRefusal::NotAProcess;
        return held;
    }
    std::unique_ptr<HeldProcess> process = processes.hold(holder.pid);
    const std::optional<ProcessFacts> facts = process ? process->facts() : std::nullopt;
    if (!facts) {
        held.refusal = QuitRefusal::Ended;
        return held;
    }
    held.refusal = quitRefusal(*facts, caller);
    if (held.refusal == QuitRefusal::None) {
        held.process = std::move(process);
    }
    return held;
}

std::vector<Holder> processHolders(Platform& platform, const UnplugOutcome& outcome) {
    std::vector<Holder> holders;
    std::set<std::int32_t> seen;
    for (const VolumeHolders& volume : outcome.holders) {
        for (const Holder& holder : volume.holders) {
            if (holder.kind == Holder::Kind::Process && seen.insert(holder.pid).second) {
                holders.push_back(holder);
            }
        }
    }
    if (!outcome.holders.empty() || outcome.failures.empty()) {
        return holders;
    }
    BusyProcessFinder finder(
        ProcessTools{*platform.processRunner, platform.toolCommands, *platform.applicationLookup});
    finder.addFailedVolumes(outcome.failures);
    finder.findBusyProcesses();
    for (const BusyProcess& process : finder.busyProcesses()) {
        if (seen.insert(process.pid).second) {
            Holder holder;
            holder.name = process.name;
            holder.path = process.openPaths.empty() ? std::string() : process.openPaths.front();
            holder.pid = process.pid;
            holders.push_back(std::move(holder));
        }
    }
    return holders;
}

QuitRequest requestQuit(HeldProcess& process, const Holder& holder, ApplicationBus* bus) {
    if (bus != nullptr && !holder.desktopEntry.empty() &&
        bus->requestQuit(holder.desktopEntry, process.pid())) {
        return QuitRequest::ApplicationQuit;
    }
    return process.send(EndSignal::Terminate) ? QuitRequest::Terminate : QuitRequest::Failed;
}

std::string holderName(const Holder& holder) {
    return holder.name.empty() ? "pid " + std::to_string(holder.pid) : holder.name;
}

} // namespace quaylet
