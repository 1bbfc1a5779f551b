// A delegate on fake platform services, a temporary settings file and autostart directory.
#pragma once

#include <memory>
#include <vector>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "app/vlk_app_delegate.h"
#include "core_stubs.h"
#include "fake_platform.h"

namespace quaylet::testing {

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
        resetCoreScript();
        platform_ = makeFakePlatform(mountMonitor_);
        settingsPath_ = dir_.filePath("Pemrix/Quaylet.conf");
        settings_ = std::make_unique<QSettings>(settingsPath_, QSettings::IniFormat);
        autostart_ = dir_.filePath("config/autostart");
        ASSERT_TRUE(QDir().mkpath(dir_.filePath("bin")));
        executable_ = dir_.filePath("bin/quaylet");
        QFile program(executable_);
        ASSERT_TRUE(program.open(QIODevice::WriteOnly));
        strings_.insert("BUSY_BOOT_VOLUME", "BUSY_BOOT_VOLUME %1");
        strings_.insert("BUSY_VOLUME_WITH", "BUSY_VOLUME_WITH %1 %2");
        strings_.insert("BUSY_VOLUME", "BUSY_VOLUME %1");
    }

    void TearDown() override { delegate_.reset(); }

    /// Creates the delegate; `everRun` marks the first run as past.
    VLKAppDelegate& makeDelegate(bool everRun = true,
                                 std::optional<std::vector<std::string>> security = {}) {
        if (everRun) {
            settings_->setValue("hasEverRun", true);
        }
        delegate_ = std::make_unique<VLKAppDelegate>(AppServices{
            *platform_, sink_, strings_, *settings_, autostart_, executable_, std::move(security)});
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
    TriggeredMountMonitor* mountMonitor_ = nullptr;
    std::unique_ptr<Platform> platform_;
    LocalizedStrings strings_;
    RecordingNotificationSink sink_;
    QString settingsPath_;
    std::unique_ptr<QSettings> settings_;
    QString autostart_;
    QString executable_;
    std::unique_ptr<VLKAppDelegate> delegate_;
};

} // namespace quaylet::testing
