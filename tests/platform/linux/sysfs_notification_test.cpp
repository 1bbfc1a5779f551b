// SysfsRegistry's notifications when the dock's remove events are lost. Arrival and removal
// are the registry contract's and the monitor command's cases.
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/linux/sysfs_registry.h"
#include "tests/support/handle_ledger.h"
#include "tests/support/injected_event_source.h"
#include "tests/support/test_paths.h"

namespace quaylet {
namespace {

constexpr const char* kUpstream = "/devices/pci0000:00/0000:00:07.0/0000:20:00.0";

TEST(SysfsNotificationTest, AServiceGoneWithoutItsRemoveEventIsTerminatedAllTheSame) {
    const testing::TemporaryDirectory directory;
    const std::string root = directory.path() + "/sys";
    const auto showMachine = [&root](const std::string& machine) {
        std::filesystem::remove(root);
        std::filesystem::create_directory_symlink(testing::fixturePath(machine, "sys"), root);
    };
    showMachine("laptop-dock");
    testing::InjectedEventSource* events = nullptr;
    SysfsRegistry registry{root, [&events](std::error_code&) {
                               auto source = std::make_unique<testing::InjectedEventSource>();
                               events = source.get();
                               return source;
                           }};
    testing::attachLedger(registry);
    const auto port = registry.createNotificationPort();
    int terminations = 0;
    const RegistryHandle ssd = registry.serviceForBsdName("sda");
    const RegistryHandle notification = registry.addInterestNotification(
        *port, ssd, [&terminations](RegistryHandle, std::uint32_t type, std::uintptr_t) {
            terminations += type == kMessageServiceIsTerminated ? 1 : 0;
        });
    registry.release(ssd);
    events->push({{"change", kUpstream, "pci"}});
    port->dispatchPending();
    EXPECT_EQ(terminations, 0) << "still there";
    showMachine("laptop-undocked"); // the dock's remove events were lost
    events->push({{"change", "/devices/pci0000:00/0000:00:14.0", "pci"}});
    port->dispatchPending();
    EXPECT_EQ(terminations, 1);
    events->push({{"remove", kUpstream, "pci"}});
    port->dispatchPending();
    EXPECT_EQ(terminations, 1) << "terminated once only";
    registry.release(notification);
    EXPECT_TRUE(testing::noHandlesLeft(registry));
}

} // namespace
} // namespace quaylet
