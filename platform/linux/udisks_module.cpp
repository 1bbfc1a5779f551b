// Loading the udisks module beside the running program, once a system bus may be there.
#include "platform/linux/udisks_module.h"

#include <cstdlib>
#include <string>

#include <dlfcn.h>
#include <sys/stat.h>

#include "platform/linux/linux_platform.h"

namespace quaylet {
namespace {

/// The module's entry points: a new storage on the system bus, or null; a quit request.
constexpr const char* kConnectSymbol = "quaylet_udisks_connect";
using ConnectFunction = UdisksStorage* (*)(bool interactive);
constexpr const char* kRequestQuitSymbol = "quaylet_application_request_quit";
using RequestQuitFunction = bool (*)(const char* desktopEntry, std::int32_t pid);

struct ModuleClose {
    void operator()(void* handle) const { ::dlclose(handle); }
};

/// Whether a system bus can be running: its address is set, or a socket lies where GDBus
/// looks by default. Without either, GDBus would find no bus, and loading it is wasted.
bool systemBusMayRun() {
    if (const char* address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
        address != nullptr && *address != '\0') {
        return true;
    }
    for (const char* socket : {"/run/dbus/system_bus_socket", "/var/run/dbus/system_bus_socket"}) {
        struct stat status {};
        if (::stat(socket, &status) == 0 && S_ISSOCK(status.st_mode)) {
            return true;
        }
    }
    return false;
}

} // namespace

std::shared_ptr<UdisksStorage> connectUdisks(bool interactive) {
    if (!systemBusMayRun()) {
        return nullptr;
    }
    std::unique_ptr<void, ModuleClose> module(
        ::dlopen(helperPath(kUdisksModuleName).c_str(), RTLD_NOW | RTLD_LOCAL));
    if (!module) {
        return nullptr;
    }
    const auto connect = reinterpret_cast<ConnectFunction>(::dlsym(module.get(), kConnectSymbol));
    UdisksStorage* storage = connect != nullptr ? connect(interactive) : nullptr;
    if (storage == nullptr) {
        return nullptr;
    }
    // The storage's code lies in the module: the storage goes first, then the module.
    std::shared_ptr<void> loaded(std::move(module));
    return std::shared_ptr<UdisksStorage>(storage, [loaded](UdisksStorage* gone) { delete gone; });
}

bool ModuleApplicationBus::requestQuit(const std::string& desktopEntry, std::int32_t pid) {
    const std::unique_ptr<void, ModuleClose> module(
        ::dlopen(helperPath(kUdisksModuleName).c_str(), RTLD_NOW | RTLD_LOCAL));
    if (!module) {
        return false;
    }
    const auto request =
        reinterpret_cast<RequestQuitFunction>(::dlsym(module.get(), kRequestQuitSymbol));
    return request != nullptr && request(desktopEntry.c_str(), pid);
}

} // namespace quaylet
