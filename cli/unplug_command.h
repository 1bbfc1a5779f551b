// The unplug command from end to end: scan, refuse or unmount, name the busy process.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "cli/holder_quit_command.h"
#include "platform/platform.h"
#include "platform/string_table.h"

namespace quaylet {

/// How one unplug command may act.
struct UnplugCommandOptions {
    bool everything = false; ///< Plan all external storage, not only the dock's.
    bool json = false;       ///< Print the outcome as a JSON document (cli/unplug_json.h).
    bool powerOff = false;   ///< After a safe unplug, switch off the USB drives and the dock.
    /// Why nothing may be unmounted (the mount table is not this system's); empty when the
    /// command may unmount.
    std::string unmountForbidden;
    /// Said on the errors stream when a volume was not allowed to be unmounted; empty for none.
    std::string interactionHint;
    /// Quit the processes that keep volumes busy, then unplug again (--quit-holders).
    bool quitHolders = false;
    /// How the user is asked before processes are quit.
    QuitDialog quitDialog;
    /// Rewrite the progress line in place (the errors stream is a terminal); else a line each.
    bool progressInPlace = false;
};

/// Runs the unplug command on `platform` through the steps the tray runs (eject/unplug_flow.h),
/// with a progress line for each volume, and for a volume still being written to, on `errors`, and
/// writes the outcome to `out` in the notification's words (or as JSON). With `quitHolders`, a
/// volume in use has the processes that hold it quit (cli/holder_quit_command.h) and the command
/// run again, its outcome printed too (as JSON, only the last). Returns kExitSafe, kExitUnsafe,
/// or kExitUsage when the mount table cannot be read or the options forbid the unmounting the
/// plan needs.
int runUnplugCommand(Platform& platform, const UnplugCommandOptions& options,
                     const StringTable& strings, std::ostream& out, std::ostream& errors);

} // namespace quaylet
