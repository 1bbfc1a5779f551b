// Empty platform services and the trigger pipe behind the test monitors.
#include "fake_platform.h"

#include <fcntl.h>
#include <unistd.h>

namespace quaylet::testing {

namespace {

class EmptyRegistry : public Registry {
public:
    RegistryHandle parentEntry(RegistryHandle) override { return 0; }
    RegistryHandle childIterator(RegistryHandle) override { return 0; }
    RegistryHandle iteratorNext(RegistryHandle) override { return 0; }
    bool conformsTo(RegistryHandle, std::string_view) override { return false; }
    std::string className(RegistryHandle) override { return {}; }
    void release(RegistryHandle) override {}
    std::optional<PropertyValue> property(RegistryHandle, std::string_view) override { return {}; }
    std::optional<PropertyDictionary> properties(RegistryHandle) override { return {}; }
    RegistryHandle matchingServices(MatchingDictionary) override { return 0; }
    RegistryHandle serviceForBsdName(std::string_view) override { return 0; }
    std::unique_ptr<NotificationPort> createNotificationPort() override { return nullptr; }
    RegistryHandle addMatchingNotification(NotificationPort&, MatchingDictionary,
                                           MatchingCallback) override {
        return 0;
    }
    RegistryHandle addInterestNotification(NotificationPort&, RegistryHandle,
                                           InterestCallback) override {
        return 0;
    }
    OperatingSystemVersion operatingSystemVersion() const override { return {}; }
};

class EmptyMountTable : public MountTable {
public:
    std::vector<MountEntry> entries() const override { return {}; }
};

class EmptyFileManager : public FileManager {
public:
    std::optional<std::string> displayName(const std::string&) const override { return {}; }
};

class EmptyDeviceNaming : public DeviceNaming {
public:
    RegistryHandle wholeDiskService(Registry&, std::string_view) const override { return 0; }
    RegistryHandle volumeService(Registry&, std::string_view) const override { return 0; }
};

class SilentProcessRunner : public ProcessRunner {
public:
    std::error_code run(const std::vector<std::string>&, const OutputLineHandler&) override {
        return {};
    }
};

class NothingMounted : public MountPointProbe {
public:
    bool isMounted(const std::string&) const override { return false; }
};

class NoApplications : public ApplicationLookup {
public:
    std::optional<std::string> applicationName(std::int32_t) const override { return {}; }
};

} // namespace

TriggerPipe::TriggerPipe() {
    if (::pipe2(ends_, O_CLOEXEC | O_NONBLOCK) != 0) {
        ends_[0] = ends_[1] = -1;
    }
}

TriggerPipe::~TriggerPipe() {
    for (const int end : ends_) {
        if (end >= 0) {
            ::close(end);
        }
    }
}

void TriggerPipe::trigger() {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(ends_[1], &byte, 1);
}

bool TriggerPipe::drain() {
    char buffer[64];
    bool any = false;
    while (::read(ends_[0], buffer, sizeof buffer) > 0) {
        any = true;
    }
    return any;
}

std::unique_ptr<Platform> makeFakePlatform(TriggeredMountMonitor*& mountMonitor) {
    auto platform = std::make_unique<Platform>();
    platform->registry = std::make_unique<EmptyRegistry>();
    platform->mountTable = std::make_unique<EmptyMountTable>();
    auto monitor = std::make_unique<TriggeredMountMonitor>();
    mountMonitor = monitor.get();
    platform->mountMonitor = std::move(monitor);
    platform->fileManager = std::make_unique<EmptyFileManager>();
    platform->deviceNaming = std::make_unique<EmptyDeviceNaming>();
    platform->processRunner = std::make_unique<SilentProcessRunner>();
    platform->mountPointProbe = std::make_unique<NothingMounted>();
    platform->applicationLookup = std::make_unique<NoApplications>();
    return platform;
}

} // namespace quaylet::testing
