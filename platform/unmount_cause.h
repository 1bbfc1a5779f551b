// UnmountCause: why a volume was or was not unmounted, and the word the disk tool prints for it.
#pragma once

#include <string_view>
#include <system_error>

namespace quaylet {

/// How one attempt to unmount a volume ended.
enum class UnmountCause {
    none,       ///< Unmounted.
    gone,       ///< It was no longer mounted (or its device went away) when its turn came.
    busy,       ///< Something keeps it in use: open files, a working directory, a mount on it.
    notAllowed, ///< The user may not unmount it (the kernel's EPERM, or polkit said no).
    failed,     ///< Refused for another reason.
};

/// Returns the word that starts the disk tool's line about a volume: "Unmounted", "Gone",
/// "Busy", "Not-allowed" or "Failed".
std::string_view unmountCauseWord(UnmountCause cause);

/// Returns the cause whose word starts `line` (the word followed by a space, a colon or the
/// end) and returns true; returns false, leaving `cause` alone, for any other line.
bool unmountCauseOfLine(std::string_view line, UnmountCause& cause);

/// Returns the cause of an unmount that ended with `error`: none when there is no error,
/// busy for EBUSY, notAllowed for EPERM and EACCES, gone for a target or device that is not
/// there (EINVAL, ENOENT, ENODEV, ENXIO), else failed.
UnmountCause unmountCauseOfError(std::error_code error);

} // namespace quaylet
