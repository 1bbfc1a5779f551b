// An application asked to quit on a private session bus (the test runs under dbus-run-session),
// by a stand-in that owns its bus name in this process.
#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include <gio/gio.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/linux/gdbus_application_bus.h"

namespace quaylet {
namespace {

constexpr const char* kInterface = R"(<node><interface name="org.freedesktop.Application">
  <method name="ActivateAction">
    <arg type="s" direction="in"/><arg type="av" direction="in"/>
    <arg type="a{sv}" direction="in"/>
  </method></interface></node>)";

/// Owns "org.quaylet.Stand-in" and serves its ActivateAction on a thread of its own, counting
/// the "quit" actions it is asked for.
class StandInApplication {
public:
    StandInApplication() {
        thread_ = std::thread([this] { serve(); });
        while (!ready_) {
            std::this_thread::yield();
        }
    }
    ~StandInApplication() {
        g_main_loop_quit(loop_);
        thread_.join();
    }
    int quits() const { return quits_; }
    bool owned() const { return owned_; }

private:
    void serve() {
        GMainContext* context = g_main_context_new();
        g_main_context_push_thread_default(context);
        loop_ = g_main_loop_new(context, FALSE);
        GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kInterface, nullptr);
        static const GDBusInterfaceVTable table{
            [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
               GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self) {
                const gchar* action = nullptr;
                g_variant_get_child(parameters, 0, "&s", &action);
                if (std::string(action) == "quit") {
                    ++static_cast<StandInApplication*>(self)->quits_;
                }
                g_dbus_method_invocation_return_value(invocation, nullptr);
            },
            nullptr,
            nullptr,
            {}};
        if (bus != nullptr && node != nullptr) {
            g_dbus_connection_register_object(bus, "/org/quaylet/Stand_in", node->interfaces[0],
                                              &table, this, nullptr, nullptr);
            GVariant* reply = g_dbus_connection_call_sync(
                bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                "RequestName", g_variant_new("(su)", "org.quaylet.Stand-in", 4U),
                G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
            owned_ = reply != nullptr;
            g_clear_pointer(&reply, g_variant_unref);
        }
        ready_ = true;
        g_main_loop_run(loop_);
        g_clear_pointer(&node, g_dbus_node_info_unref);
        g_clear_object(&bus);
        g_main_loop_unref(loop_);
        g_main_context_pop_thread_default(context);
        g_main_context_unref(context);
    }

    std::thread thread_;
    GMainLoop* loop_ = nullptr;
    std::atomic<bool> ready_ = false;
    std::atomic<bool> owned_ = false;
    std::atomic<int> quits_ = 0;
};

TEST(GDBusApplicationBusTest, AsksOnlyTheProcessThatOwnsTheApplicationsName) {
    StandInApplication application;
    ASSERT_TRUE(application.owned()) << "no session bus: run under dbus-run-session";
    GDBusApplicationBus bus;
    const auto self = static_cast<std::int32_t>(::getpid());

    EXPECT_FALSE(bus.requestQuit("org.quaylet.Stand-in.desktop", self + 1));
    EXPECT_FALSE(bus.requestQuit("org.quaylet.Absent.desktop", self));
    EXPECT_EQ(application.quits(), 0);
    EXPECT_TRUE(bus.requestQuit("org.quaylet.Stand-in.desktop", self));
    EXPECT_EQ(application.quits(), 1);
}

} // namespace
} // namespace quaylet
