// MountinfoChanges: whether the kernel's mount table of this mount namespace has changed.
#pragma once

#include <memory>
#include <string>

#include "platform/mount_point_probe.h"
#include "platform/unique_fd.h"

namespace quaylet {

/// Watches the kernel's mount table through an open mountinfo file: the kernel marks it with a
/// priority event (poll's POLLPRI) at every mount, unmount or change of a mount in its mount
/// namespace, until the next poll.
class MountinfoChanges final : public MountTableChanges {
public:
    /// Starts watching the table at `mountInfoPath`; null when it cannot be opened or is no
    /// file of the kernel's (a recorded table), whose changes no event tells.
    static std::unique_ptr<MountinfoChanges> open(const std::string& mountInfoPath);
    /// Polls without waiting; true when the kernel marked a change or the poll failed.
    bool changedSinceLastAsked() override;

private:
    explicit MountinfoChanges(UniqueFd file) : file_(std::move(file)) {}

    UniqueFd file_;
};

} // namespace quaylet
