// Desktop applications asked to quit on the session bus through GDBus.
#include "platform/linux/gdbus_application_bus.h"

#include <memory>

#include <gio/gio.h>

namespace quaylet {
namespace {

struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct VariantUnref {
    void operator()(GVariant* variant) const { g_variant_unref(variant); }
};
struct GFree {
    void operator()(gpointer memory) const { g_free(memory); }
};
struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
using VariantPtr = std::unique_ptr<GVariant, VariantUnref>;

/// An application that takes long to answer is busy saving, or hangs; either way the caller
/// goes on with a signal instead.
constexpr int kAnswerTimeoutMs = 5000;

VariantPtr call(GDBusConnection* bus, const char* service, const char* path, const char* interface,
                const char* method, GVariant* parameters, const GVariantType* replyType) {
    GError* raw = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(bus, service, path, interface, method, parameters,
                                                  replyType, G_DBUS_CALL_FLAGS_NO_AUTO_START,
                                                  kAnswerTimeoutMs, nullptr, &raw);
    const std::unique_ptr<GError, ErrorFree> error(raw);
    return VariantPtr(reply);
}

} // namespace

bool GDBusApplicationBus::requestQuit(const std::string& desktopEntry, std::int32_t pid) {
    const std::string name = applicationBusName(desktopEntry);
    if (name.empty() || pid <= 0) {
        return false;
    }
    const std::unique_ptr<gchar, GFree> address(
        g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, nullptr));
    if (!address) {
        return false;
    }
    // A connection of our own: the shared one would end the process when the bus goes away.
    const std::unique_ptr<GDBusConnection, ObjectUnref> bus(g_dbus_connection_new_for_address_sync(
        address.get(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr));
    if (!bus) {
        return false;
    }
    // The name may belong to another instance, or to a launcher; the request must reach the
    // process that holds the volume.
    const VariantPtr owner = call(bus.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                  "org.freedesktop.DBus", "GetConnectionUnixProcessID",
                                  g_variant_new("(s)", name.c_str()), G_VARIANT_TYPE("(u)"));
    guint32 ownerPid = 0;
    if (!owner) {
        return false;
    }
    g_variant_get(owner.get(), "(u)", &ownerPid);
    if (ownerPid != static_cast<guint32>(pid)) {
        return false;
    }
    const std::string path = applicationObjectPath(name);
    const VariantPtr done =
        call(bus.get(), name.c_str(), path.c_str(), "org.freedesktop.Application", "ActivateAction",
             g_variant_new("(s@av@a{sv})", "quit",
                           g_variant_new_array(G_VARIANT_TYPE_VARIANT, nullptr, 0),
                           g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0)),
             nullptr);
    return static_cast<bool>(done);
}

} // namespace quaylet
