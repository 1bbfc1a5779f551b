// UdisksStorage: what the disk unmounter asks of udisks2, the desktop's storage daemon.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/linux/block_mount_table.h"
#include "platform/unmount_cause.h"

namespace quaylet {

/// How one request to udisks ended: `cause` none when it was done; `message` is udisks' own
/// explanation when it refused, and the device acted on when it was done.
struct UdisksReply {
    UnmountCause cause = UnmountCause::none;
    std::string message;
};

/// The requests the disk unmounter makes of udisks. Each answers nullopt when udisks does not
/// know the thing asked about, so that the kernel is asked instead.
class UdisksStorage {
public:
    virtual ~UdisksStorage() = default;
    /// Unmounts `mount` when udisks knows its device with a file system mounted at its target.
    virtual std::optional<UdisksReply> unmount(const BlockMount& mount) = 0;
    /// Deletes the loop device numbered `device` when udisks knows it as a loop device.
    virtual std::optional<UdisksReply> deleteLoop(std::uint64_t device) = 0;
    /// Locks the unlocked encrypted container that block device `device` is the clear text of,
    /// when udisks knows it as such.
    virtual std::optional<UdisksReply> lockContainerOf(std::uint64_t device) = 0;
    /// Powers off the drive that whole disk number `device` is on (Drive.PowerOff): udisks
    /// syncs and spins it down, then switches off its USB port.
    virtual std::optional<UdisksReply> powerOffDrive(std::uint64_t device) = 0;
};

} // namespace quaylet
