// Unmounting one mount in-process through libmount's context, never forced and never lazy.
#pragma once

#include <system_error>

#include "platform/linux/block_mount_table.h"

namespace quaylet {

/// Unmounts `mount` as umount(8) would, through libmount's context (which runs a file system's
/// umount helper and keeps the userspace mount table right), never forced and never lazy. Acts
/// only while `mount` is still the uppermost mount at its target (by its mount id, when the
/// kernel tells it). Returns no error when it is unmounted; EBUSY when another mount covers it
/// now; else what the kernel or libmount reported (EPERM when the caller may not unmount it).
std::error_code unmountThroughLibmount(const BlockMount& mount);

} // namespace quaylet
