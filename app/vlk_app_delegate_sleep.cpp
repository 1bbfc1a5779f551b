// Unplugging the dock before the computer sleeps: the preference, the unplug that logind waits
// for, and the one notification after resume that says what it did or what blocked it.
#include <utility>

#include "app/app_storage.h"
#include "app/preferences_window.h"
#include "app/sleep_guard.h"
#include "app/vlk_app_delegate.h"

namespace quaylet {

bool VLKAppDelegate::unplugBeforeSleep() const {
    return services_.userDefaults.value(kUnplugBeforeSleepKey, false).toBool();
}

void VLKAppDelegate::setUnplugBeforeSleep(bool on) {
    services_.userDefaults.setValue(kUnplugBeforeSleepKey, on);
    services_.userDefaults.sync();
    if (sleepGuard_) {
        sleepGuard_->setEnabled(on);
    }
}

void VLKAppDelegate::watchSleep() {
    QLabel* status = preferencesWindow_->sleepStatus;
    const auto showUnavailable = [this, status](const QString& reason) {
        status->setText(QString::fromStdString(
            services_.strings.format("SLEEP_UNAVAILABLE", {reason.toStdString()})));
        status->show();
    };
    if (!services_.systemBus) {
        showUnavailable(QStringLiteral("no system bus"));
        return;
    }
    sleepGuard_ = std::make_unique<SleepGuard>(*services_.systemBus);
    connect(sleepGuard_.get(), &SleepGuard::unavailable, this, showUnavailable);
    connect(sleepGuard_.get(), &SleepGuard::sleepRequested, this, &VLKAppDelegate::unplugForSleep);
    connect(sleepGuard_.get(), &SleepGuard::resumed, this, &VLKAppDelegate::resumedFromSleep);
    connect(sleepGuard_.get(), &SleepGuard::releasedAtBound, this,
            [this] { sleep_.late = sleep_.running; });
    sleepGuard_->setEnabled(unplugBeforeSleep());
}

void VLKAppDelegate::unplugForSleep() {
    if (sleep_.running || sleep_.waiting) {
        return; // the unplug of the last sleep still runs and lets this one go when it ends
    }
    sleep_ = SleepUnplug{};
    if (quitting_) {
        sleepGuard_->release();
    } else if (unplugInProgress_) {
        sleep_.waiting = true;
    } else {
        runSleepUnplug();
    }
}

void VLKAppDelegate::runSleepUnplug() {
    if (sleep_.resumed) {
        sleep_ = SleepUnplug{}; // awake again before the command it waited for had ended
        return;
    }
    sleep_.running = true;
    startUnplug(false, true);
}

void VLKAppDelegate::sleepUnplugEnded(const UnplugOutcome& outcome) {
    sleep_.running = false;
    sleep_.outcome = outcome;
    sleepGuard_->release();
    if (sleep_.resumed) {
        deliverSleepReport();
    }
}

void VLKAppDelegate::resumedFromSleep() {
    if (sleep_.running || sleep_.waiting) {
        sleep_.resumed = true; // the report follows the outcome
        return;
    }
    deliverSleepReport();
}

void VLKAppDelegate::deliverSleepReport() {
    const std::optional<UnplugOutcome> outcome = std::exchange(sleep_.outcome, std::nullopt);
    // Nothing was behind the dock: there is nothing to tell.
    if (!outcome || (outcome->safe && !sleep_.unmounted)) {
        return;
    }
    std::optional<QString> text;
    if (!outcome->safe) {
        if (const auto words = unplugNotification(services_.strings, *outcome).informativeText) {
            text = QString::fromStdString(*words);
        }
    } else if (sleep_.late) {
        text = localizedText(services_.strings, "SLEEP_CAME_FIRST");
    }
    services_.notifications.deliverNotification(
        {localizedText(services_.strings, "THUNDERBOLT_DOCK"),
         localizedText(services_.strings,
                       outcome->safe ? "SLEEP_UNPLUG_DONE" : "SLEEP_UNPLUG_BLOCKED"),
         text, outcome->safe ? NotificationUrgency::Normal : NotificationUrgency::Critical,
         QStringLiteral("device.removed"), QStringLiteral("unplug-dock")});
}

} // namespace quaylet
