// The in-memory registry: walks, handles, matching, and notifications through its port.
#include <vector>

#include <poll.h>

#include <gtest/gtest.h>

#include "platform/memory/memory_registry.h"

namespace quaylet {
namespace {

bool readable(int descriptor) {
    pollfd watched{descriptor, POLLIN, 0};
    return poll(&watched, 1, 0) == 1;
}

class MemoryRegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        root =
            registry.addEntry(std::nullopt, {"IOPlatformExpertDevice", {"IOService"}, "Root", {}});
        hub = registry.addEntry(root, {"IOUSBHostDevice",
                                       {"IOUSBDevice", "IOService"},
                                       "Hub",
                                       {{"idVendor", 0x2109}, {"idProduct", 0x0822}}});
        disk = registry.addEntry(
            hub, {"IOMedia", {"IOStorage", "IOService"}, "Disk", {{"BSD Name", "disk4"}}});
        registry.publish(root);
    }
    void TearDown() override {
        EXPECT_EQ(registry.outstandingHandles(), 0U)
            << ::testing::PrintToString(registry.describeOutstandingHandles());
        EXPECT_EQ(registry.badReleases(), expectedBadReleases);
    }
    // Drains `iterator` and returns the names of the entries it yielded, releasing each.
    std::vector<std::string> drain(RegistryHandle iterator) {
        std::vector<std::string> names;
        while (const RegistryHandle next = registry.iteratorNext(iterator)) {
            names.push_back(registry.entryName(*registry.entryOf(next)));
            registry.release(next);
        }
        return names;
    }

    MemoryRegistry registry{{10, 15, 7}};
    MemoryEntryId root = 0, hub = 0, disk = 0;
    std::size_t expectedBadReleases = 0;
};

TEST_F(MemoryRegistryTest, EveryReferenceIsItsOwnHandleAndBadReleasesAreCounted) {
    const RegistryHandle first = registry.serviceForBsdName("disk4");
    const RegistryHandle second = registry.serviceForBsdName("disk4");
    ASSERT_NE(first, 0U);
    EXPECT_NE(first, second);
    EXPECT_EQ(registry.outstandingHandles(), 2U);
    registry.release(first);
    registry.release(second);
    registry.release(second); // double
    registry.release(999999); // unknown
    registry.release(0);      // nothing
    expectedBadReleases = 2;
}

TEST_F(MemoryRegistryTest, WalksUpByConformanceAndStopsAtTheRoot) {
    const RegistryHandle media = registry.serviceForBsdName("disk4");
    EXPECT_TRUE(registry.conformsTo(media, "IOService"));
    EXPECT_FALSE(registry.conformsTo(media, "IOUSBDevice"));
    EXPECT_EQ(registry.className(media), "IOMedia");
    const RegistryHandle parent = registry.parentEntry(media);
    EXPECT_TRUE(registry.conformsTo(parent, "IOUSBDevice"));
    EXPECT_EQ(registry.property(parent, "idVendor"), PropertyValue(0x2109));
    EXPECT_FALSE(registry.property(parent, "locationID"));
    const RegistryHandle top = registry.parentEntry(parent);
    EXPECT_EQ(registry.parentEntry(top), 0U);
    EXPECT_EQ(registry.parentEntry(0), 0U);
    EXPECT_EQ(registry.parentRequests(), 4U);
    for (const RegistryHandle handle : {media, parent, top}) {
        registry.release(handle);
    }
}

TEST_F(MemoryRegistryTest, MatchesClassAndExactPropertiesAndIteratesChildren) {
    MatchingDictionary matching = serviceMatching("IOUSBDevice");
    matching.properties = {{"idVendor", 0x2109}, {"idProduct", 0x0822}};
    const RegistryHandle found = registry.matchingServices(matching);
    EXPECT_EQ(drain(found), std::vector<std::string>{"Hub"});
    registry.release(found);

    matching.properties["idProduct"] = 0x0817;
    EXPECT_EQ(registry.matchingServices(matching), 0U);
    EXPECT_EQ(registry.serviceForBsdName("disk9"), 0U);

    const RegistryHandle top = registry.referenceTo(root);
    const RegistryHandle children = registry.childIterator(top);
    EXPECT_EQ(drain(children), std::vector<std::string>{"Hub"});
    EXPECT_EQ(registry.childIterator(0), 0U);
    registry.release(children);
    registry.release(top);
}

TEST_F(MemoryRegistryTest, MatchingNotificationYieldsExistingThenFiresOncePerBatchWhenArmed) {
    auto port = registry.createNotificationPort();
    std::vector<std::vector<std::string>> batches;
    RegistryHandle iterator = 0;
    iterator =
        registry.addMatchingNotification(*port, serviceMatching("IOMedia"), [&](RegistryHandle it) {
            EXPECT_EQ(it, iterator);
            batches.push_back(drain(it));
        });
    EXPECT_EQ(drain(iterator), std::vector<std::string>{"Disk"});

    const MemoryEntryId second = registry.addEntry(hub, {"IOMedia", {}, "Second", {}});
    const MemoryEntryId third = registry.addEntry(second, {"IOMedia", {}, "Third", {}});
    EXPECT_FALSE(readable(port->descriptor()));
    registry.publish(second);
    EXPECT_TRUE(readable(port->descriptor()));
    port->dispatchPending();
    EXPECT_FALSE(readable(port->descriptor()));
    ASSERT_EQ(batches.size(), 1U);
    EXPECT_EQ(batches[0], (std::vector<std::string>{"Second", "Third"}));

    registry.release(iterator); // cancels: later entries reach nobody
    registry.publish(registry.addEntry(third, {"IOMedia", {}, "Fourth", {}}));
    port->dispatchPending();
    EXPECT_EQ(batches.size(), 1U);
}

TEST_F(MemoryRegistryTest, NotificationIsNotArmedUntilItsIteratorIsDrained) {
    auto port = registry.createNotificationPort();
    int calls = 0;
    const RegistryHandle iterator = registry.addMatchingNotification(
        *port, serviceMatching("IOMedia"), [&](RegistryHandle) { ++calls; });
    registry.publish(registry.addEntry(hub, {"IOMedia", {}, "Late", {}}));
    port->dispatchPending();
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(drain(iterator), (std::vector<std::string>{"Disk", "Late"}));
    registry.release(iterator);
}

TEST_F(MemoryRegistryTest, InterestReportsTerminationDeepestFirstAndOtherMessages) {
    auto port = registry.createNotificationPort();
    std::vector<std::pair<std::string, std::uint32_t>> messages;
    const auto record = [&](RegistryHandle service, std::uint32_t type, std::uintptr_t) {
        messages.emplace_back(registry.entryName(*registry.entryOf(service)), type);
        registry.release(service); // not the callee's to release: counted as bad
    };
    const RegistryHandle hubHandle = registry.referenceTo(hub);
    const RegistryHandle diskHandle = registry.referenceTo(disk);
    const RegistryHandle onHub = registry.addInterestNotification(*port, hubHandle, record);
    const RegistryHandle onDisk = registry.addInterestNotification(*port, diskHandle, record);
    registry.sendMessage(hub, 0xE0000130, 7);
    registry.terminate(hub);
    port->dispatchPending();
    using Message = std::pair<std::string, std::uint32_t>;
    EXPECT_EQ(messages, (std::vector<Message>{{"Hub", 0xE0000130},
                                              {"Disk", kMessageServiceIsTerminated},
                                              {"Hub", kMessageServiceIsTerminated}}));
    expectedBadReleases = 3;
    EXPECT_EQ(registry.serviceForBsdName("disk4"), 0U);
    EXPECT_EQ(registry.parentEntry(hubHandle), 0U);
    EXPECT_EQ(registry.addInterestNotification(*port, hubHandle, record), 0U);
    for (const RegistryHandle handle : {onHub, onDisk, hubHandle, diskHandle}) {
        registry.release(handle);
    }
}

TEST_F(MemoryRegistryTest, FailsTheNextInterestNotificationOnlyAndCancelsOnRelease) {
    auto port = registry.createNotificationPort();
    int calls = 0;
    const auto count = [&](RegistryHandle, std::uint32_t, std::uintptr_t) {
        ++calls;
    };
    const RegistryHandle service = registry.referenceTo(disk);
    registry.failNextInterestNotification();
    EXPECT_EQ(registry.addInterestNotification(*port, service, count), 0U);
    const RegistryHandle armed = registry.addInterestNotification(*port, service, count);
    ASSERT_NE(armed, 0U);
    registry.sendMessage(disk, 1);
    registry.release(armed); // cancelled before dispatch
    port->dispatchPending();
    EXPECT_EQ(calls, 0);
    registry.release(service);
}

} // namespace
} // namespace quaylet
