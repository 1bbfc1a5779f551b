// A delegate on a snapshot machine's in-memory platform, with a temporary settings file and
// autostart directory, and a tool runner the test can hold at a gate.
#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "app/vlk_app_delegate.h"
#include "platform/memory/memory_mount_table.h"
#include "platform/memory/snapshot_loader.h"
#include "tests/support/fixture_machine.h"
#include "tests/support/recording_process_runner.h"

namespace quaylet::testing {

/// Records the notifications delivered.
class RecordingNotificationSink : public NotificationSink {
public:
    void deliverNotification(const UserNotification& notification) override {
        delivered.push_back(notification);
    }
    std::vector<UserNotification> delivered;
};

class DelegateTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        // A dock carrying one SSD with two volumes, and cp holding a file on the second.
        useMachine("laptop-with-busy-dock");
        settings_ =
            std::make_unique<QSettings>(dir_.filePath("Pemrix/Quaylet.conf"), QSettings::IniFormat);
        autostart_ = dir_.filePath("config/autostart");
        ASSERT_TRUE(QDir().mkpath(dir_.filePath("bin")));
        executable_ = dir_.filePath("bin/quaylet");
        QFile program(executable_);
        ASSERT_TRUE(program.open(QIODevice::WriteOnly));
        strings_ = *StringTable::fromJson(R"({"BUSY_VOLUME_WITH": "BUSY_VOLUME_WITH %1 %2"})");
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

    /// Takes fixture machine `machine` as the snapshot; a test may change `snapshot_` until
    /// the first delegate is made.
    void useMachine(std::string_view machine) {
        SnapshotError error;
        auto loaded = loadSnapshot(fixturePath(machine), error);
        ASSERT_TRUE(loaded) << error.problem;
        snapshot_ = std::move(*loaded);
    }

    /// The platform over `snapshot_`, built on first use, its runs recorded by `runner_`.
    Platform& platform() {
        if (!platform_) {
            platform_ = std::make_unique<Platform>(makeSnapshotPlatform(snapshot_));
            attachLedger(memoryRegistry(*platform_));
            auto recording =
                std::make_unique<RecordingProcessRunner>(std::move(platform_->processRunner));
            runner_ = recording.get();
            platform_->processRunner = std::move(recording);
        }
        return *platform_;
    }
    MemoryRegistry& registry() { return memoryRegistry(platform()); }
    MemoryMountTable& mounts() { return dynamic_cast<MemoryMountTable&>(*platform().mountTable); }
    RecordingProcessRunner& runner() { return platform(), *runner_; }
    bool mounted(const std::string& mountPoint) {
        const std::vector<MountEntry> entries = mounts().entries();
        return std::any_of(entries.begin(), entries.end(),
                           [&](const MountEntry& entry) { return entry.mountPoint == mountPoint; });
    }

    /// Creates the delegate; `everRun` marks the first run as past.
    VLKAppDelegate& makeDelegate(bool everRun = true,
                                 std::optional<std::vector<std::string>> security = {}) {
        if (everRun) {
            settings_->setValue("hasEverRun", true);
        }
        delegate_ = std::make_unique<VLKAppDelegate>(
            AppServices{platform(), sink_, strings_, *settings_, autostart_, executable_,
                        std::move(security), systemBus_});
        return *delegate_;
    }
    VLKAppDelegate& launch(bool everRun = true) {
        makeDelegate(everRun).applicationDidFinishLaunching();
        return *delegate_;
    }
    /// Runs the main thread's events until `done` holds (5 s at most).
    template <typename Predicate> bool until(Predicate done) { return QTest::qWaitFor(done, 5000); }

    QTemporaryDir dir_;
    Snapshot snapshot_;
    std::unique_ptr<Platform> platform_;
    RecordingProcessRunner* runner_ = nullptr;
    StringTable strings_;
    RecordingNotificationSink sink_;
    std::unique_ptr<QSettings> settings_;
    QString autostart_;
    QString executable_;
    std::optional<QDBusConnection> systemBus_;
    std::unique_ptr<VLKAppDelegate> delegate_;
};

} // namespace quaylet::testing
