// Which mounted file systems answer from this machine alone.
#pragma once

#include <vector>

#include "platform/mount_table.h"

namespace quaylet {

/// Returns whether every question about a file on `mount` is answered by this kernel and its
/// own disks: a file system on a block device, or one the kernel keeps itself (proc, tmpfs,
/// overlay). A network file system, a FUSE file system, an automounter and any type this list
/// does not know may wait on a server that has stopped answering.
bool answersLocally(const MountEntry& mount);

/// Returns whether the table is known and every file system in it answers locally; false for
/// an empty (unread) table. Only this mount namespace's table is known: a process of another
/// one may hold a file on a file system mounted there alone.
bool everyFileSystemAnswersLocally(const std::vector<MountEntry>& mounts);

} // namespace quaylet
