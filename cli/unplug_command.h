// The unplug command from end to end: scan, refuse or unmount, name the busy process.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "cli/string_table.h"
#include "platform/platform.h"

namespace quaylet {

/// How one unplug command may act.
struct UnplugCommandOptions {
    bool everything = false; ///< Plan all external storage, not only the dock's.
    /// Why nothing may be unmounted (the mount table is not this system's); empty when the
    /// command may unmount.
    std::string unmountForbidden;
};

/// Runs the unplug command on `platform` with the outcomes of the tray's controller: refusal
/// when the boot volume is behind the dock; safe when nothing is planned; else every planned
/// volume unmounted in the fixed order (a progress line each on `errors`), then safe, or the
/// first volume still mounted with the first process found busy on the failed volumes. The
/// outcome goes to `out` in the notification's words. Returns kExitSafe, kExitUnsafe, or
/// kExitUsage when the options forbid the unmounting the plan needs.
int runUnplugCommand(Platform& platform, const UnplugCommandOptions& options,
                     const StringTable& strings, std::ostream& out, std::ostream& errors);

} // namespace quaylet
