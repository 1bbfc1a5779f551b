// Detaching a loop device from its backing file, only when nobody has it claimed.
#pragma once

#include <string>
#include <system_error>

namespace quaylet {

/// Detaches loop device `devicePath` from its backing file. It is opened exclusively first, so
/// a loop device with a mounted file system or a device stacked on it is left alone (EBUSY).
/// The kernel finishes the detach when the last process holding the device open closes it.
/// Returns the system's error (EBUSY, EACCES, ENXIO when not attached), or none.
std::error_code detachLoopDevice(const std::string& devicePath);

} // namespace quaylet
