// connectUdisks: udisks support, loaded only where a system bus can be running.
#pragma once

#include <memory>

#include "platform/application_bus.h"
#include "platform/linux/udisks_storage.h"

namespace quaylet {

/// The file name of the module that talks to udisks through GDBus. It lies beside the program
/// that loads it, so that a program which finds no system bus never loads GLib at all: binding
/// GLib, GObject and GIO at start took most of a disk tool run's own time.
inline constexpr const char* kUdisksModuleName = "quaylet-udisks.so";

/// Returns udisks on the system bus (DBUS_SYSTEM_BUS_ADDRESS when set), as UdisksClient does;
/// nullptr when no system bus socket exists, udisks does not run there, or the module beside
/// the running program cannot be loaded. The module stays loaded while the storage lives.
std::shared_ptr<UdisksStorage> connectUdisks(bool interactive);

/// Asks desktop applications to quit through the module's GDBus code (GDBusApplicationBus),
/// loading the module only for a request, so that programs which never quit an application
/// never load GLib.
class ModuleApplicationBus final : public ApplicationBus {
public:
    /// As GDBusApplicationBus::requestQuit; false when the module cannot be loaded.
    bool requestQuit(const std::string& desktopEntry, std::int32_t pid) override;
};

} // namespace quaylet
