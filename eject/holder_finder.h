// The holder search: everything that keeps still-mounted volumes busy, processes or not.
#pragma once

#include <string>
#include <vector>

#include "eject/holder.h"
#include "platform/platform.h"

namespace quaylet {

/// Returns a holder that is no process: of `kind`, named `name`, at `path`, with `detail`.
Holder storageHolder(Holder::Kind kind, std::string name, std::string path,
                     std::string detail = {});

/// Fills in the holders of each volume of `volumes` that has a mount point, in this order:
/// the processes with a file, a working or root directory or a memory map on it (as the
/// open-files tool reports them, then those only the process table shows), the disk images
/// attached from it, the swap files on it, the file systems mounted inside it, and its NFS
/// exports. A file lies on a volume when its file system's device number is the volume's, or
/// when the volume is the innermost mount that holds its path. Volumes without a mount point
/// keep the holders they carry. `mounts`, when not empty, is a read of the mount table that is
/// still the table's own, to search by instead of reading it again. Blocks until the tools
/// have ended.
void findHolders(Platform& platform, std::vector<VolumeHolders>& volumes,
                 std::vector<MountEntry> mounts = {});

} // namespace quaylet
