// UdisksClient: the UDisks2 D-Bus API on the system bus, through GDBus.
#pragma once

#include <memory>

#include "platform/linux/udisks_storage.h"

namespace quaylet {

/// Talks to udisksd (org.freedesktop.UDisks2) on the system bus. Never forces an unmount.
class UdisksClient final : public UdisksStorage {
public:
    /// Connects to the system bus (DBUS_SYSTEM_BUS_ADDRESS when set); nullptr when there is no
    /// system bus or udisks is not running on it. With `interactive`, polkit may ask the user
    /// for a password where its policy wants one; without it, such a request fails at once.
    static std::unique_ptr<UdisksClient> connect(bool interactive);
    ~UdisksClient() override;

    std::optional<UdisksReply> unmount(const BlockMount& mount) override;
    std::optional<UdisksReply> deleteLoop(std::uint64_t device) override;
    std::optional<UdisksReply> lockContainerOf(std::uint64_t device) override;
    std::optional<UdisksReply> powerOffDrive(std::uint64_t device) override;

private:
    struct Connection;
    UdisksClient(std::unique_ptr<Connection> connection, bool interactive);

    std::unique_ptr<Connection> connection_;
    bool interactive_;
};

} // namespace quaylet
