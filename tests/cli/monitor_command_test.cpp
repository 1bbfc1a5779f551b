// Tests of quaylet-cli monitor's lines: the dock count over the Linux registry as injected
// device events plug and unplug the dock, and mounts and unmounts as they happen.
#include <filesystem>
#include <sstream>

#include <sys/eventfd.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "cli/monitor_command.h"
#include "platform/linux/sysfs_registry.h"
#include "platform/memory/memory_mount_table.h"
#include "platform/unique_fd.h"
#include "tests/support/injected_event_source.h"
#include "tests/support/test_paths.h"

namespace quaylet {
namespace {

constexpr const char* kUpstream = "/devices/pci0000:00/0000:00:07.0/0000:20:00.0";
const std::string kController = std::string(kUpstream) + "/0000:21:01.0/0000:23:00.0";

class MonitorCommandTest : public ::testing::Test {
protected:
    MonitorCommandTest() {
        showMachine("laptop-undocked");
        auto registry = std::make_unique<SysfsRegistry>(root, [this](std::error_code&) {
            auto source = std::make_unique<testing::InjectedEventSource>();
            events = source.get();
            return source;
        });
        auto table = std::make_unique<MemoryMountTable>();
        mounts = table.get();
        platform.registry = std::move(registry);
        platform.mountMonitor = std::make_unique<MemoryMountMonitor>(*table);
        platform.mountTable = std::move(table);
        monitor = std::make_unique<MonitorCommand>(platform, out);
    }

    void showMachine(const std::string& machine) {
        std::filesystem::remove(root);
        std::filesystem::create_directory_symlink(
            std::string(testing::kFixturesDir) + "/" + machine + "/sys", root);
    }

    /// Handles what is waiting and returns the lines written since the last call.
    std::string dispatch() {
        EXPECT_TRUE(monitor->waitAndDispatch(stop.get()));
        std::string lines = out.str();
        out.str("");
        return lines;
    }

    testing::TemporaryDirectory scratch;
    const std::string root = scratch.path() + "/sys";
    testing::InjectedEventSource* events = nullptr;
    MemoryMountTable* mounts = nullptr;
    Platform platform;
    std::ostringstream out;
    std::unique_ptr<MonitorCommand> monitor;
    UniqueFd stop{::eventfd(0, EFD_CLOEXEC)};
};

TEST_F(MonitorCommandTest, WritesTheDockCountAsTheDockComesAndGoesAndEachMountChange) {
    monitor->start();
    EXPECT_EQ(out.str(), "Docks: none seen\n");
    out.str("");

    // Plugged in: the controller, the hub and the presence device each count, in the order
    // their services appear in the tree (the presence device is on the USB 2 bus, usb5).
    showMachine("laptop-dock");
    events->push({{"add", kUpstream, "pci"}, {"add", kController, "pci"}});
    EXPECT_EQ(dispatch(), "Docks: 1 sighting (controller)\n"
                          "Docks: 2 sightings (controller, presence)\n"
                          "Docks: 3 sightings (controller, presence, hub)\n");

    mounts->mount({"/dev/sda1", "/media/user/Dock\nSSD", "exfat"});
    EXPECT_EQ(dispatch(), "Mounted /dev/sda1 at /media/user/Dock\\012SSD\n");
    mounts->unmountIf([](const MountEntry& entry) { return entry.devicePath == "/dev/sda1"; });
    EXPECT_EQ(dispatch(), "Unmounted /dev/sda1 from /media/user/Dock\\012SSD\n");

    // Unplugged: every sighting goes, each with its own line.
    showMachine("laptop-undocked");
    events->push({{"remove", kController + "/usb5/5-1/5-1.4/5-1.4.7", "usb"},
                  {"remove", kController, "pci"},
                  {"remove", kUpstream, "pci"}});
    EXPECT_EQ(dispatch(), "Docks: 2 sightings (controller, hub)\n"
                          "Docks: 1 sighting (hub)\n"
                          "Docks: none seen\n");

    // Interrupted: the watch ends.
    const std::uint64_t one = 1;
    ASSERT_EQ(::write(stop.get(), &one, sizeof one), static_cast<ssize_t>(sizeof one));
    EXPECT_FALSE(monitor->waitAndDispatch(stop.get()));
    EXPECT_EQ(out.str(), "");
}

TEST_F(MonitorCommandTest, SaysWhyDeviceEventsCannotBeWatched) {
    platform.registry = std::make_unique<SysfsRegistry>(root, [](std::error_code& error) {
        error = std::make_error_code(std::errc::permission_denied);
        return nullptr;
    });
    monitor = std::make_unique<MonitorCommand>(platform, out);
    monitor->start();
    EXPECT_EQ(monitor->watchFailure(), std::errc::permission_denied);
}

} // namespace
} // namespace quaylet
