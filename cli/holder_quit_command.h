// Quitting, from a terminal, the processes that keep the volumes of an unplug busy.
#pragma once

#include <istream>
#include <ostream>

#include "eject/unplug_outcome.h"
#include "platform/platform.h"
#include "platform/string_table.h"

namespace quaylet {

/// How the user is asked.
struct QuitDialog {
    /// The terminal the answers are read from; null when there is none, and nothing is asked.
    std::istream* answers = nullptr;
    /// Quit without asking first (--yes). Ending a process by force is still asked for.
    bool assumeYes = false;
};

/// Lists on `errors` the processes that hold the volumes of `outcome`, those that will be asked
/// to quit and those that are not touched with why; asks once (unless `dialog.assumeYes`); asks
/// each to quit, through its application's quit action or with SIGTERM; waits up to
/// kQuitWaitSeconds for them to end; and asks again, for each one left, before ending it with
/// SIGKILL, which without a terminal never happens. Returns whether any of them ended.
bool quitHolders(Platform& platform, const UnplugOutcome& outcome, const QuitDialog& dialog,
                 const StringTable& strings, std::ostream& errors);

} // namespace quaylet
