// What the dock detection and the volume scan rely on from a registry, checked over every
// backend: the registry engine built in memory, and the sysfs registry over a fixture tree; and
// the sysfs registry's notifications when remove events are lost.
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/linux/sysfs_registry.h"
#include "platform/memory_registry.h"
#include "tests/support/injected_event_source.h"
#include "tests/support/probed_registry.h"
#include "tests/support/test_paths.h"

namespace quaylet {
namespace {

/// One backend with a dock whose USB 3 hub (0x2109:0x0822) has a disk below it.
class Backend {
public:
    virtual ~Backend() = default;
    virtual MemoryRegistry& registry() = 0;
    /// The BSD name of the disk's media.
    virtual std::string diskName() const = 0;
    /// Connects the dock (again), or disconnects it; the test's port then has callbacks waiting.
    virtual void plug() = 0;
    virtual void unplug() = 0;
};

class MemoryBackend final : public Backend {
public:
    MemoryBackend() {
        const MemoryEntryId root =
            registry_.addEntry(std::nullopt, {"IOPlatformExpertDevice", {}, "Root", {}});
        root_ = root;
        plug();
    }
    MemoryRegistry& registry() override { return registry_; }
    std::string diskName() const override { return "disk4"; }
    void plug() override {
        const MemoryEntryId hub =
            registry_.addEntry(root_, {"IOUSBHostDevice",
                                       {"IOUSBDevice", "IOService"},
                                       "Hub",
                                       {{"idVendor", 0x2109}, {"idProduct", 0x0822}}});
        registry_.addEntry(
            hub, {"IOMedia", {"IOStorage", "IOService"}, "Disk", {{"BSD Name", "disk4"}}});
        registry_.publish(hub);
        hub_ = hub;
    }
    void unplug() override { registry_.terminate(hub_); }

private:
    MemoryRegistry registry_;
    MemoryEntryId root_ = 0;
    MemoryEntryId hub_ = 0;
};

constexpr const char* kUpstream = "/devices/pci0000:00/0000:00:07.0/0000:20:00.0";

class SysfsBackend final : public Backend {
public:
    SysfsBackend() { show("laptop-dock"); }
    MemoryRegistry& registry() override { return registry_; }
    std::string diskName() const override { return "sda"; }
    void plug() override {
        show("laptop-dock");
        source_->push({{"add", kUpstream, "pci"}});
    }
    void unplug() override {
        show("laptop-undocked");
        source_->push({{"remove", kUpstream, "pci"}});
    }
    /// Shows fixture machine `machine`'s tree, without any device event.
    void show(const std::string& machine) {
        std::filesystem::remove(root_);
        std::filesystem::create_directory_symlink(testing::fixturePath(machine, "sys"), root_);
    }
    /// Delivers one device event.
    void push(DeviceEvent event) { source_->push({std::move(event)}); }

private:
    const testing::TemporaryDirectory directory_;
    const std::filesystem::path root_ = directory_.path() + "/sys";
    testing::InjectedEventSource* source_ = nullptr;
    SysfsRegistry registry_{root_.string(), [this](std::error_code&) {
                                auto source = std::make_unique<testing::InjectedEventSource>();
                                source_ = source.get();
                                return source;
                            }};
};

using BackendFactory = std::function<std::unique_ptr<Backend>()>;

class RegistryContractTest : public ::testing::TestWithParam<BackendFactory> {
protected:
    void TearDown() override {
        port.reset();
        EXPECT_TRUE(testing::noHandlesLeft(registry));
    }

    /// Releases every object `iterator` yields and returns how many there were.
    int drain(RegistryHandle iterator) {
        int count = 0;
        while (const RegistryHandle next = registry.iteratorNext(iterator)) {
            registry.release(next);
            ++count;
        }
        return count;
    }

    std::unique_ptr<Backend> backend = GetParam()();
    MemoryRegistry& registry = backend->registry();
    testing::HandleLedger& ledger_ = testing::attachLedger(registry);
    std::unique_ptr<NotificationPort> port = registry.createNotificationPort();
};

TEST_P(RegistryContractTest, WalksFromMediaToTheRootByConformance) {
    const RegistryHandle media = registry.serviceForBsdName(backend->diskName());
    ASSERT_NE(media, kNoRegistryObject);
    const RegistryHandle again = registry.serviceForBsdName(backend->diskName());
    EXPECT_NE(again, media) << "each reference is a handle of its own";
    registry.release(again);
    EXPECT_EQ(registry.className(media), "IOMedia");
    for (const char* base : {"IOMedia", "IOStorage", "IOService"}) {
        EXPECT_TRUE(registry.conformsTo(media, base)) << base;
    }
    EXPECT_FALSE(registry.conformsTo(media, "IOUSBDevice"));
    // The hub lies above the disk, and the walk ends at a root.
    RegistryHandle at = media;
    bool passedHub = false;
    for (int steps = 0; at != kNoRegistryObject; ++steps) {
        ASSERT_LT(steps, 64);
        passedHub = passedHub || registry.property(at, "idProduct") == PropertyValue(0x0822);
        const RegistryHandle parent = registry.parentEntry(at);
        registry.release(at);
        at = parent;
    }
    EXPECT_TRUE(passedHub);
    EXPECT_EQ(registry.serviceForBsdName("nosuchdisk9"), kNoRegistryObject);
}

TEST_P(RegistryContractTest, NotificationsFollowTheDockOutAndBackIn) {
    int matched = 0;
    MatchingDictionary matching = serviceMatching("IOUSBHostDevice");
    matching.properties = {{"idVendor", 0x2109}, {"idProduct", 0x0822}};
    const RegistryHandle iterator = registry.addMatchingNotification(
        *port, matching, [&](RegistryHandle notified) { matched += drain(notified); });
    ASSERT_NE(iterator, kNoRegistryObject);
    std::vector<std::uint32_t> messages;
    const RegistryHandle service = registry.iteratorNext(iterator);
    ASSERT_NE(service, kNoRegistryObject) << "services already there come first";
    const RegistryHandle interest = registry.addInterestNotification(
        *port, service,
        [&](RegistryHandle, std::uint32_t type, std::uintptr_t) { messages.push_back(type); });
    registry.release(service);
    ASSERT_NE(interest, kNoRegistryObject);

    // Not drained yet: the notification is not armed, so a new sighting waits in the iterator.
    backend->unplug();
    port->dispatchPending();
    EXPECT_EQ(messages, std::vector<std::uint32_t>{kMessageServiceIsTerminated});
    backend->plug();
    port->dispatchPending();
    EXPECT_EQ(matched, 0);
    EXPECT_EQ(drain(iterator), 1);

    // Drained: the next arrival calls back; a cancelled watch hears nothing more.
    backend->unplug();
    port->dispatchPending();
    registry.release(interest);
    backend->plug();
    port->dispatchPending();
    EXPECT_EQ(matched, 1);
    EXPECT_EQ(messages.size(), 1U) << "terminated once, and a terminated service is not watched";
    registry.release(iterator);
    backend->unplug();
    backend->plug();
    port->dispatchPending();
    EXPECT_EQ(matched, 1) << "released, the matching notification is cancelled";
}

INSTANTIATE_TEST_SUITE_P(
    Backends, RegistryContractTest,
    ::testing::Values(
        BackendFactory([] { return std::unique_ptr<Backend>(std::make_unique<MemoryBackend>()); }),
        BackendFactory([] { return std::unique_ptr<Backend>(std::make_unique<SysfsBackend>()); })),
    [](const auto& param) { return std::string(param.index == 0 ? "Memory" : "Sysfs"); });

// The dock's remove events lost: the next event's reread terminates the services gone from the
// tree all the same, once.
TEST(SysfsNotificationTest, AServiceGoneWithoutItsRemoveEventIsTerminatedAllTheSame) {
    SysfsBackend backend;
    MemoryRegistry& registry = backend.registry();
    testing::attachLedger(registry);
    const auto port = registry.createNotificationPort();
    int terminations = 0;
    const RegistryHandle ssd = registry.serviceForBsdName("sda");
    const RegistryHandle notification = registry.addInterestNotification(
        *port, ssd, [&terminations](RegistryHandle, std::uint32_t type, std::uintptr_t) {
            terminations += type == kMessageServiceIsTerminated ? 1 : 0;
        });
    registry.release(ssd);
    backend.push({"change", kUpstream, "pci"});
    port->dispatchPending();
    EXPECT_EQ(terminations, 0) << "still there";
    backend.show("laptop-undocked");
    backend.push({"change", "/devices/pci0000:00/0000:00:14.0", "pci"});
    port->dispatchPending();
    EXPECT_EQ(terminations, 1);
    backend.push({"remove", kUpstream, "pci"});
    port->dispatchPending();
    EXPECT_EQ(terminations, 1) << "terminated once only";
    registry.release(notification);
    EXPECT_TRUE(testing::noHandlesLeft(registry));
}

} // namespace
} // namespace quaylet
