// Quitting what holds a volume: which processes may be ended, and the polite request to end.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "eject/holder.h"
#include "eject/unplug_outcome.h"
#include "platform/platform.h"

namespace quaylet {

/// How long a process is given to end after the polite request, before the user is asked
/// whether to end it by force.
inline constexpr int kQuitWaitSeconds = 10;

/// Why a holder may not be ended.
enum class QuitRefusal {
    None,         ///< It may be ended.
    NotAProcess,  ///< An image, swap file, mount or export: no process to end.
    Ended,        ///< The process has ended already.
    FirstProcess, ///< Process 1, the system's service manager.
    Caller,       ///< The caller itself, or a process it was started by.
    KernelThread, ///< A thread of the kernel.
    OtherUser,    ///< It belongs to another user, or runs with another user's rights.
    OutsideLogin, ///< A service of the system, or a process outside the caller's login.
};

/// The calling process, as the refusal rule sees it.
struct QuitCaller {
    ProcessFacts self;
    std::vector<std::int32_t> ancestors; ///< Its parent first.
};

/// Returns why `target` may not be ended by `caller`, or None. The process must be neither
/// process 1, nor the caller or one of its ancestors, nor a kernel thread; all four of its user
/// ids must be the caller's real uid (so another user's process, and a set-uid program run by
/// the caller, are refused); and it must belong to the caller's login: the same login uid when
/// the caller has one, otherwise the caller's own session. Services the system starts have no
/// login uid and sessions of their own, so even root ends none of them.
QuitRefusal quitRefusal(const ProcessFacts& target, const QuitCaller& caller);

/// Returns the key of the text that says why a holder is not ended; empty for None.
std::string quitRefusalTextKey(QuitRefusal refusal);

/// A holder whose process is held, and judged while held.
struct HeldHolder {
    Holder holder;
    std::unique_ptr<HeldProcess> process; ///< Set only when the process may be ended.
    QuitRefusal refusal = QuitRefusal::None;
};

/// Returns the caller as `processes` sees it; nullopt when its own facts cannot be read.
std::optional<QuitCaller> quitCaller(const ProcessSignals& processes);

/// Holds the process of `holder` and judges it by facts read while it is held, so that a
/// process id reused meanwhile is never judged or signalled in its place.
HeldHolder holdForQuit(ProcessSignals& processes, const QuitCaller& caller, const Holder& holder);

/// Returns the processes among the holders of `outcome`, each process once, in the outcome's
/// order. An outcome whose holders were not searched gives the processes the open-files tool
/// finds on its failed volumes. Blocks while the tool runs.
std::vector<Holder> processHolders(Platform& platform, const UnplugOutcome& outcome);

/// How a polite request to end went.
enum class QuitRequest {
    ApplicationQuit, ///< The application took its own quit action.
    Terminate,       ///< SIGTERM was sent.
    Failed,          ///< Neither could be sent: the process has ended, or may not be signalled.
};

/// Asks `process` to end: through its application's own quit action when `holder` names a
/// desktop application on `bus` (null: none), else with SIGTERM. Blocks while the application
/// answers.
QuitRequest requestQuit(HeldProcess& process, const Holder& holder, ApplicationBus* bus);

/// Returns the name a holder is called by in the texts: its name, or "pid N" without one.
std::string holderName(const Holder& holder);

} // namespace quaylet
