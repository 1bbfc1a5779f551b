// Tests of SysfsRegistry's notifications, driven by injected device events while the device
// tree under the registry's root changes from the undocked laptop to the docked one and back.
#include <filesystem>

#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/linux/sysfs_registry.h"
#include "tests/support/injected_event_source.h"
#include "tests/support/test_paths.h"

namespace quaylet {
namespace {

using testing::InjectedEventSource;

constexpr const char* kUpstream = "/devices/pci0000:00/0000:00:07.0/0000:20:00.0";
const std::string kController = std::string(kUpstream) + "/0000:21:01.0/0000:23:00.0";

class SysfsNotificationTest : public ::testing::Test {
protected:
    SysfsNotificationTest() {
        std::filesystem::create_directories(directory_);
        showMachine("laptop-undocked");
    }
    ~SysfsNotificationTest() override {
        port_.reset();
        EXPECT_EQ(registry_.outstandingHandles(), 0u);
        std::filesystem::remove_all(directory_);
    }

    void showMachine(const std::string& machine) {
        std::filesystem::remove(root_);
        std::filesystem::create_directory_symlink(
            std::string(testing::kFixturesDir) + "/" + machine + "/sys", root_);
    }

    /// Arms a matching notification whose callback collects the names of new services.
    RegistryHandle watch(MatchingDictionary matching, std::vector<std::string>& seen) {
        const RegistryHandle iterator = registry_.addMatchingNotification(
            *port_, std::move(matching),
            [this, &seen](RegistryHandle notified) { drain(notified, seen); });
        drain(iterator, seen);
        return iterator;
    }

    void drain(RegistryHandle iterator, std::vector<std::string>& seen) {
        while (const RegistryHandle service = registry_.iteratorNext(iterator)) {
            seen.push_back(*registry_.property(service, "IOName")->string());
            registry_.release(service);
        }
    }

    bool readable() const {
        pollfd descriptor{port_->descriptor(), POLLIN, 0};
        return ::poll(&descriptor, 1, 0) == 1;
    }

    static MatchingDictionary usbDevice(std::int32_t vendor, std::int32_t product) {
        MatchingDictionary matching = serviceMatching("IOUSBHostDevice");
        matching.properties = {{"idVendor", vendor}, {"idProduct", product}};
        return matching;
    }

    const std::filesystem::path directory_ =
        std::filesystem::temp_directory_path() / ("quaylet-events-" + std::to_string(::getpid()));
    const std::filesystem::path root_ = directory_ / "sys";
    InjectedEventSource* source_ = nullptr;
    SysfsRegistry registry_{root_.string(), [this](std::error_code&) {
                                auto source = std::make_unique<InjectedEventSource>();
                                source_ = source.get();
                                return source;
                            }};
    std::unique_ptr<NotificationPort> port_ = registry_.createNotificationPort();
};

TEST_F(SysfsNotificationTest, DockArrivalMatchesEachSourceAndRemovalTerminatesItsServices) {
    std::vector<std::string> controllers, hubs, presence;
    const RegistryHandle watches[] = {watch(serviceMatching("AppleUSBXHCIFL1100"), controllers),
                                      watch(usbDevice(0x2109, 0x0822), hubs),
                                      watch(usbDevice(0x2109, 0x8884), presence)};
    EXPECT_TRUE(controllers.empty() && hubs.empty() && presence.empty());

    showMachine("laptop-dock");
    source_->push({{"add", kUpstream, "pci"},
                   {"add", kController, "pci"},
                   {"add", kController + "/usb6/6-1", "usb"}});
    EXPECT_TRUE(readable());
    port_->dispatchPending();
    EXPECT_FALSE(readable());
    EXPECT_EQ(controllers, std::vector<std::string>{"0000:23:00.0"});
    EXPECT_EQ(hubs, std::vector<std::string>{"6-1"});
    EXPECT_EQ(presence, std::vector<std::string>{"5-1.4.7"});

    // Watch the upstream bridge (what the controller and hub sources record) and the presence
    // device (what the presence source records).
    std::vector<std::string> terminated;
    const auto watchInterest = [&](const char* name, RegistryHandle service) {
        const RegistryHandle notification = registry_.addInterestNotification(
            *port_, service,
            [&terminated, name](RegistryHandle, std::uint32_t type, std::uintptr_t) {
                EXPECT_EQ(type, kMessageServiceIsTerminated);
                terminated.emplace_back(name);
            });
        registry_.release(service);
        return notification;
    };
    const RegistryHandle bridgeWatch = watchInterest("bridge", [&] {
        MatchingDictionary bridge = serviceMatching("IOPCIDevice");
        bridge.properties = {{"IOName", "0000:20:00.0"}};
        const RegistryHandle iterator = registry_.matchingServices(bridge);
        const RegistryHandle service = registry_.iteratorNext(iterator);
        registry_.release(iterator);
        return service;
    }());
    const RegistryHandle presenceWatch = watchInterest("presence", [&] {
        const RegistryHandle iterator = registry_.matchingServices(usbDevice(0x2109, 0x8884));
        const RegistryHandle service = registry_.iteratorNext(iterator);
        registry_.release(iterator);
        return service;
    }());
    ASSERT_NE(bridgeWatch, kNoRegistryObject);
    ASSERT_NE(presenceWatch, kNoRegistryObject);

    const std::string presencePath = kController + "/usb5/5-1/5-1.4/5-1.4.7";
    source_->push({{"change", kUpstream, "pci"}, {"remove", presencePath, "usb"}});
    port_->dispatchPending();
    EXPECT_EQ(terminated, std::vector<std::string>{"presence"});
    // The kernel removes children first; the bridge's watch fires once, for itself.
    showMachine("laptop-undocked");
    source_->push({{"remove", kController, "pci"},
                   {"remove", kUpstream, "pci"},
                   {"remove", "/devices/pci0000:00/0000:00:07.0", "pci"}});
    port_->dispatchPending();
    EXPECT_EQ(terminated, (std::vector<std::string>{"presence", "bridge"}));

    for (const RegistryHandle handle :
         {bridgeWatch, presenceWatch, watches[0], watches[1], watches[2]}) {
        registry_.release(handle);
    }
}

TEST_F(SysfsNotificationTest, AServiceGoneWithoutItsRemoveEventIsTerminatedAllTheSame) {
    showMachine("laptop-dock");
    int terminations = 0;
    const RegistryHandle ssd = registry_.serviceForBsdName("sda");
    const RegistryHandle notification = registry_.addInterestNotification(
        *port_, ssd, [&terminations](RegistryHandle, std::uint32_t type, std::uintptr_t) {
            terminations += type == kMessageServiceIsTerminated ? 1 : 0;
        });
    registry_.release(ssd);
    source_->push({{"change", kUpstream, "pci"}});
    port_->dispatchPending();
    EXPECT_EQ(terminations, 0) << "still there";
    showMachine("laptop-undocked"); // the dock's remove events were lost
    source_->push({{"change", "/devices/pci0000:00/0000:00:14.0", "pci"}});
    port_->dispatchPending();
    EXPECT_EQ(terminations, 1);
    source_->push({{"remove", kUpstream, "pci"}});
    port_->dispatchPending();
    EXPECT_EQ(terminations, 1) << "terminated once only";
    registry_.release(notification);
}

} // namespace
} // namespace quaylet
