// GDBusApplicationBus: desktop applications asked to quit on the session bus through GDBus.
#pragma once

#include "platform/application_bus.h"

namespace quaylet {

/// Calls org.freedesktop.Application.ActivateAction("quit") on the session bus named by
/// DBUS_SESSION_BUS_ADDRESS, after checking with the bus which process owns the name. Each
/// request opens its own connection and waits at most a few seconds for each answer.
class GDBusApplicationBus : public ApplicationBus {
public:
    bool requestQuit(const std::string& desktopEntry, std::int32_t pid) override;
};

} // namespace quaylet
