// A delegate on a snapshot machine's in-memory platform, with a temporary settings file and
// autostart directory, and a tool runner the test can hold at a gate.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "app/vlk_app_delegate.h"
#include "gated_process_runner.h"
#include "platform/memory/memory_mount_table.h"
#include "platform/memory/snapshot_loader.h"
#include "tests/support/fixture_machine.h"

namespace quaylet::testing {

/// A laptop with a dock carrying one SSD with two volumes, and cp holding a file on the second.
inline constexpr const char* kBusyDockMachine = "laptop_with_busy_dock";

/// Records the notifications delivered, and the status image showing at each delivery.
class RecordingNotificationSink : public NotificationSink {
public:
    void deliverNotification(const UserNotification& notification) override {
        delivered.push_back(notification);
        imagesAtDelivery.push_back(delegate ? delegate->statusImageName() : QString());
    }
    const VLKAppDelegate* delegate = nullptr;
    std::vector<UserNotification> delivered;
    std::vector<QString> imagesAtDelivery;
};

class DelegateTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        useMachine(kBusyDockMachine);
        settingsPath_ = dir_.filePath("Pemrix/Quaylet.conf");
        settings_ = std::make_unique<QSettings>(settingsPath_, QSettings::IniFormat);
        autostart_ = dir_.filePath("config/autostart");
        ASSERT_TRUE(QDir().mkpath(dir_.filePath("bin")));
        executable_ = dir_.filePath("bin/quaylet");
        QFile program(executable_);
        ASSERT_TRUE(program.open(QIODevice::WriteOnly));
        strings_ = *StringTable::fromJson(R"({"BUSY_BOOT_VOLUME": "BUSY_BOOT_VOLUME %1",
            "BUSY_VOLUME_WITH": "BUSY_VOLUME_WITH %1 %2", "BUSY_VOLUME": "BUSY_VOLUME %1"})");
    }

    void TearDown() override {
        if (runner_) {
            runner_->open(); // a failed test must not leave a worker waiting at the gate
        }
        delegate_.reset();
        if (platform_) {
            EXPECT_TRUE(noHandlesLeft(registry()));
        }
    }

    /// Takes fixture machine `machine` as the snapshot the platform is built from; a test may
    /// change `snapshot_` until the first delegate is made.
    void useMachine(std::string_view machine) {
        std::string error;
        auto loaded = loadSnapshot(fixturePath(machine), error);
        ASSERT_TRUE(loaded) << error;
        snapshot_ = std::move(*loaded);
    }

    /// The platform over `snapshot_`, built on first use, its runner wrapped in `runner_`.
    Platform& platform() {
        if (!platform_) {
            platform_ = std::make_unique<Platform>(makeSnapshotPlatform(snapshot_));
            auto gated = std::make_unique<GatedProcessRunner>(std::move(platform_->processRunner));
            runner_ = gated.get();
            platform_->processRunner = std::move(gated);
        }
        return *platform_;
    }
    MemoryRegistry& registry() { return memoryRegistry(platform()); }
    MemoryMountTable& mounts() { return dynamic_cast<MemoryMountTable&>(*platform().mountTable); }
    GatedProcessRunner& runner() {
        platform();
        return *runner_;
    }
    /// Returns the mount points of the mount table, in order.
    std::vector<std::string> mountPoints() {
        std::vector<std::string> points;
        for (const MountEntry& entry : mounts().entries()) {
            points.push_back(entry.mountPoint);
        }
        return points;
    }

    /// Creates the delegate; `everRun` marks the first run as past.
    VLKAppDelegate& makeDelegate(bool everRun = true,
                                 std::optional<std::vector<std::string>> security = {}) {
        if (everRun) {
            settings_->setValue("hasEverRun", true);
        }
        delegate_ = std::make_unique<VLKAppDelegate>(AppServices{
            platform(), sink_, strings_, *settings_, autostart_, executable_, std::move(security)});
        sink_.delegate = delegate_.get();
        return *delegate_;
    }

    /// Creates and launches the delegate.
    VLKAppDelegate& launch(bool everRun = true) {
        makeDelegate(everRun).applicationDidFinishLaunching();
        return *delegate_;
    }

    /// Runs the main thread's events until `done` holds (5 s at most).
    template <typename Predicate> bool until(Predicate done) { return QTest::qWaitFor(done, 5000); }

    QTemporaryDir dir_;
    Snapshot snapshot_;
    std::unique_ptr<Platform> platform_;
    GatedProcessRunner* runner_ = nullptr;
    StringTable strings_;
    RecordingNotificationSink sink_;
    QString settingsPath_;
    std::unique_ptr<QSettings> settings_;
    QString autostart_;
    QString executable_;
    std::unique_ptr<VLKAppDelegate> delegate_;
};

} // namespace quaylet::testing
