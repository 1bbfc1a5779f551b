// PowerOffStep: what became of one piece of hardware that was to be switched off after an
// unplug.
#pragma once

#include <string>

namespace quaylet {

/// One drive or dock, and whether it was switched off or why not.
struct PowerOffStep {
    enum class Kind { Drive, Dock };
    enum class Result {
        poweredOff,        ///< Switched off.
        inUse,             ///< Something on it is still mounted, swapped on or attached.
        bootDisk,          ///< The running system's root file system is on it.
        unreadable,        ///< Whether it is in use could not be read.
        notDeauthorizable, ///< Its Thunderbolt domain does not allow de-authorization.
        noService,         ///< udisks2 is not running.
        notAllowed,        ///< The user may not (polkit, or no write access).
        unsupported,       ///< It cannot be switched off in software.
        failed,            ///< It was tried and did not work.
    };
    Kind kind = Kind::Drive;
    std::string name;        ///< The whole disk (sdb) or the router (0-1).
    std::string displayName; ///< What the user knows it as.
    Result result = Result::poweredOff;
    /// What holds it (inUse), the unreadable source, or the platform's own words; may be empty.
    std::string detail;

    friend bool operator==(const PowerOffStep&, const PowerOffStep&) = default;
};

} // namespace quaylet
