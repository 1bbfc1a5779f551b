// The UDisks2 D-Bus API through GDBus: udisks' block objects read once per request, then one
// method call on the object that the request is about.
#include "platform/linux/udisks_client.h"

#include <algorithm>
#include <climits>
#include <string>
#include <string_view>
#include <vector>

#include <gio/gio.h>
#include <sys/stat.h>

namespace quaylet {
namespace {

constexpr const char* kService = "org.freedesktop.UDisks2";
constexpr const char* kBlock = "org.freedesktop.UDisks2.Block";
constexpr const char* kFilesystem = "org.freedesktop.UDisks2.Filesystem";
constexpr const char* kLoop = "org.freedesktop.UDisks2.Loop";
constexpr const char* kEncrypted = "org.freedesktop.UDisks2.Encrypted";
constexpr const char* kDrive = "org.freedesktop.UDisks2.Drive";

struct VariantUnref {
    void operator()(GVariant* variant) const { g_variant_unref(variant); }
};
using VariantPtr = std::unique_ptr<GVariant, VariantUnref>;

struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
using ErrorPtr = std::unique_ptr<GError, ErrorFree>;

struct GFree {
    void operator()(void* memory) const { g_free(memory); }
};

struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};

/// One block device as udisks describes it.
struct BlockObject {
    std::string path;         ///< Its D-Bus object path.
    std::uint64_t device = 0; ///< Its device number.
    std::string node;         ///< Its device node (/dev/sdb1).
    bool hasFilesystem = false;
    std::vector<std::string> mountPoints;
    bool isLoop = false;
    std::string cryptoBacking; ///< The encrypted container it is the clear text of; "/" none.
    std::string drive;         ///< The drive it is on; "/" or empty for none.
};

VariantPtr lookup(GVariant* dictionary, const char* key, const GVariantType* type) {
    return VariantPtr(g_variant_lookup_value(dictionary, key, type));
}

BlockObject blockObject(const char* path, GVariant* interfaces, GVariant* block) {
    BlockObject object;
    object.path = path;
    g_variant_lookup(block, "DeviceNumber", "t", &object.device);
    if (VariantPtr node = lookup(block, "PreferredDevice", G_VARIANT_TYPE_BYTESTRING)) {
        object.node = g_variant_get_bytestring(node.get());
    }
    if (VariantPtr backing = lookup(block, "CryptoBackingDevice", G_VARIANT_TYPE_OBJECT_PATH)) {
        object.cryptoBacking = g_variant_get_string(backing.get(), nullptr);
    }
    if (VariantPtr drive = lookup(block, "Drive", G_VARIANT_TYPE_OBJECT_PATH)) {
        object.drive = g_variant_get_string(drive.get(), nullptr);
    }
    if (VariantPtr filesystem = lookup(interfaces, kFilesystem, G_VARIANT_TYPE_VARDICT)) {
        object.hasFilesystem = true;
        if (VariantPtr points =
                lookup(filesystem.get(), "MountPoints", G_VARIANT_TYPE_BYTESTRING_ARRAY)) {
            const std::unique_ptr<const gchar*, GFree> list(
                g_variant_get_bytestring_array(points.get(), nullptr));
            for (const gchar* const* point = list.get(); *point != nullptr; ++point) {
                object.mountPoints.emplace_back(*point);
            }
        }
    }
    object.isLoop = static_cast<bool>(lookup(interfaces, kLoop, G_VARIANT_TYPE_VARDICT));
    return object;
}

/// The cause of a refusal, by the D-Bus error's name.
UdisksReply replyOfError(const GError* error) {
    const std::unique_ptr<gchar, GFree> remote(g_dbus_error_get_remote_error(error));
    const std::string name = remote ? remote.get() : "";
    const ErrorPtr stripped(g_error_copy(error));
    g_dbus_error_strip_remote_error(stripped.get());
    UdisksReply reply{UnmountCause::failed, stripped->message};
    if (name == "org.freedesktop.UDisks2.Error.DeviceBusy" ||
        (name == "org.freedesktop.UDisks2.Error.Failed" &&
         reply.message.find("target is busy") != std::string::npos)) {
        reply.cause = UnmountCause::busy;
    } else if (name.starts_with("org.freedesktop.UDisks2.Error.NotAuthorized") ||
               name == "org.freedesktop.DBus.Error.AccessDenied" ||
               name == "org.freedesktop.DBus.Error.InteractiveAuthorizationRequired") {
        reply.cause = UnmountCause::notAllowed;
    } else if (name == "org.freedesktop.UDisks2.Error.NotMounted" ||
               name == "org.freedesktop.DBus.Error.UnknownObject" ||
               name == "org.freedesktop.DBus.Error.UnknownMethod") {
        reply.cause = UnmountCause::gone; // unmounted, or its device removed, meanwhile
    }
    return reply;
}

} // namespace

struct UdisksClient::Connection {
    std::unique_ptr<GDBusConnection, ObjectUnref> bus;

    VariantPtr call(const char* service, const char* path, const char* interface,
                    const char* method, GVariant* parameters, const GVariantType* replyType,
                    bool interactive, ErrorPtr& error) const {
        GError* raw = nullptr;
        // No time limit of our own: an unmount waits for the file system's data to be
        // written, and a password prompt for the user.
        GVariant* reply = g_dbus_connection_call_sync(
            bus.get(), service, path, interface, method, parameters, replyType,
            interactive ? G_DBUS_CALL_FLAGS_ALLOW_INTERACTIVE_AUTHORIZATION
                        : G_DBUS_CALL_FLAGS_NONE,
            G_MAXINT, nullptr, &raw);
        error.reset(raw);
        return VariantPtr(reply);
    }

    std::vector<BlockObject> blockObjects() const {
        ErrorPtr error;
        const VariantPtr reply =
            call(kService, "/org/freedesktop/UDisks2", "org.freedesktop.DBus.ObjectManager",
                 "GetManagedObjects", nullptr, G_VARIANT_TYPE("(a{oa{sa{sv}}})"), false, error);
        std::vector<BlockObject> objects;
        if (!reply) {
            return objects;
        }
        const VariantPtr all(g_variant_get_child_value(reply.get(), 0));
        GVariantIter iter;
        g_variant_iter_init(&iter, all.get());
        const gchar* path = nullptr;
        GVariant* rawInterfaces = nullptr;
        while (g_variant_iter_next(&iter, "{&o@a{sa{sv}}}", &path, &rawInterfaces)) {
            const VariantPtr interfaces(rawInterfaces);
            if (const VariantPtr block = lookup(interfaces.get(), kBlock, G_VARIANT_TYPE_VARDICT)) {
                objects.push_back(blockObject(path, interfaces.get(), block.get()));
            }
        }
        return objects;
    }
};

std::unique_ptr<UdisksClient> UdisksClient::connect(bool interactive) {
    const std::unique_ptr<gchar, GFree> address(
        g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SYSTEM, nullptr, nullptr));
    if (!address) {
        return nullptr;
    }
    // No bus socket, no udisks: a connection attempt would only start GDBus's worker thread.
    if (const std::string_view text = address.get(); text.starts_with("unix:path=")) {
        const std::string_view rest = text.substr(std::string_view("unix:path=").size());
        const std::string socketPath(rest.substr(0, rest.find_first_of(",;")));
        struct stat status {};
        if (::stat(socketPath.c_str(), &status) != 0 || !S_ISSOCK(status.st_mode)) {
            return nullptr;
        }
    }
    // A connection of our own: the shared one would end the process when the bus goes away.
    auto connection = std::make_unique<Connection>();
    connection->bus.reset(g_dbus_connection_new_for_address_sync(
        address.get(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr));
    if (!connection->bus) {
        return nullptr;
    }
    ErrorPtr error;
    const VariantPtr owned = connection->call(
        "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
        g_variant_new("(s)", kService), G_VARIANT_TYPE("(b)"), false, error);
    gboolean running = FALSE;
    if (owned) {
        g_variant_get(owned.get(), "(b)", &running);
    }
    if (!running) {
        return nullptr;
    }
    return std::unique_ptr<UdisksClient>(new UdisksClient(std::move(connection), interactive));
}

UdisksClient::UdisksClient(std::unique_ptr<Connection> connection, bool interactive)
    : connection_(std::move(connection)), interactive_(interactive) {}

UdisksClient::~UdisksClient() = default;

namespace {

/// The options of every request: whether polkit may ask the user. Never "force".
GVariant* requestOptions(bool interactive) {
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&options, "{sv}", "auth.no_user_interaction",
                          g_variant_new_boolean(!interactive));
    return g_variant_new("(a{sv})", &options);
}

} // namespace

std::optional<UdisksReply> UdisksClient::unmount(const BlockMount& mount) {
    const std::vector<BlockObject> objects = connection_->blockObjects();
    const auto known = std::find_if(objects.begin(), objects.end(), [&](const BlockObject& o) {
        return o.device == mount.device && o.hasFilesystem &&
               std::find(o.mountPoints.begin(), o.mountPoints.end(), mount.target) !=
                   o.mountPoints.end();
    });
    if (mount.device == 0 || known == objects.end()) {
        return std::nullopt;
    }
    ErrorPtr error;
    connection_->call(kService, known->path.c_str(), kFilesystem, "Unmount",
                      requestOptions(interactive_), nullptr, interactive_, error);
    return error ? replyOfError(error.get()) : UdisksReply{UnmountCause::none, known->node};
}

std::optional<UdisksReply> UdisksClient::deleteLoop(std::uint64_t device) {
    const std::vector<BlockObject> objects = connection_->blockObjects();
    const auto known = std::find_if(objects.begin(), objects.end(), [&](const BlockObject& o) {
        return o.device == device && o.isLoop;
    });
    if (device == 0 || known == objects.end()) {
        return std::nullopt;
    }
    ErrorPtr error;
    connection_->call(kService, known->path.c_str(), kLoop, "Delete", requestOptions(interactive_),
                      nullptr, interactive_, error);
    return error ? replyOfError(error.get()) : UdisksReply{UnmountCause::none, known->node};
}

std::optional<UdisksReply> UdisksClient::lockContainerOf(std::uint64_t device) {
    const std::vector<BlockObject> objects = connection_->blockObjects();
    const auto clear = std::find_if(objects.begin(), objects.end(), [&](const BlockObject& o) {
        return o.device == device && !o.cryptoBacking.empty() && o.cryptoBacking != "/";
    });
    if (device == 0 || clear == objects.end()) {
        return std::nullopt;
    }
    const auto container = std::find_if(objects.begin(), objects.end(), [&](const BlockObject& o) {
        return o.path == clear->cryptoBacking;
    });
    const std::string node = container == objects.end() ? clear->cryptoBacking : container->node;
    ErrorPtr error;
    connection_->call(kService, clear->cryptoBacking.c_str(), kEncrypted, "Lock",
                      requestOptions(interactive_), nullptr, interactive_, error);
    UdisksReply reply = error ? replyOfError(error.get()) : UdisksReply{UnmountCause::none, ""};
    reply.message = node + (error ? ": " + reply.message : "");
    return reply;
}

std::optional<UdisksReply> UdisksClient::powerOffDrive(std::uint64_t device) {
    const std::vector<BlockObject> objects = connection_->blockObjects();
    const auto disk = std::find_if(objects.begin(), objects.end(), [&](const BlockObject& o) {
        return o.device == device && !o.drive.empty() && o.drive != "/";
    });
    if (device == 0 || disk == objects.end()) {
        return std::nullopt;
    }
    ErrorPtr error;
    connection_->call(kService, disk->drive.c_str(), kDrive, "PowerOff",
                      requestOptions(interactive_), nullptr, interactive_, error);
    return error ? replyOfError(error.get()) : UdisksReply{UnmountCause::none, disk->node};
}

} // namespace quaylet
