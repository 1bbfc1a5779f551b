// The D-Bus module's entry points, found by name when the module is loaded.
#include "platform/linux/gdbus_application_bus.h"
#include "platform/linux/udisks_client.h"

extern "C" __attribute__((visibility("default"))) quaylet::UdisksStorage*
quaylet_udisks_connect(bool interactive) {
    return quaylet::UdisksClient::connect(interactive).release();
}

extern "C" __attribute__((visibility("default"))) bool
quaylet_application_request_quit(const char* desktopEntry, std::int32_t pid) {
    return quaylet::GDBusApplicationBus().requestQuit(desktopEntry, pid);
}
