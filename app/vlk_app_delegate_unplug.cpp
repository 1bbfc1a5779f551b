// The unplug command in the tray: the shared unplug steps, the scan on the main thread, the
// unmounting and the busy-process search on a worker, the outcome back on the main thread, and
// the notifications that report it.
#include <QMetaObject>
#include <QRunnable>

#include "app/holder_quit_controller.h"
#include "app/vlk_app_delegate.h"
#include "eject/power_off.h"
#include "eject/unplug_flow.h"
#include "eject/writing_estimate.h"

namespace quaylet {

/// The background step: owns the plan from the hand-over until it queues the completion.
class VLKAppDelegate::BackgroundUnmount : public QRunnable {
public:
    BackgroundUnmount(VLKAppDelegate& delegate, std::unique_ptr<UnplugPlan> plan, bool everything,
                      bool beforeSleep, bool powerOff)
        : delegate_(delegate), plan_(std::move(plan)), everything_(everything),
          beforeSleep_(beforeSleep), powerOff_(powerOff) {}
    void run() override {
        delegate_.unmountInBackground(std::move(plan_), everything_, beforeSleep_, powerOff_);
    }

private:
    VLKAppDelegate& delegate_;
    std::unique_ptr<UnplugPlan> plan_;
    bool everything_;
    bool beforeSleep_;
    bool powerOff_;
};

void VLKAppDelegate::unplugDock() {
    unplug(false);
}

void VLKAppDelegate::unplugEverything() {
    unplug(true);
}

void VLKAppDelegate::unplug(bool everything) {
    startUnplug(everything, false);
}

void VLKAppDelegate::startUnplug(bool everything, bool beforeSleep) {
    if (unplugInProgress_ || quitting_) {
        return;
    }
    UnplugStart start = beginUnplug(services_.platform, everything);
    // Before sleep nothing is switched off: the dock is to be found again on resume.
    const bool powerOff = !beforeSleep && powerOffAfterUnplug();
    if (start.outcome && !(start.outcome->safe && powerOff)) {
        endWithoutUnmounting(*start.outcome, everything, beforeSleep);
        return;
    }
    if (!start.plan) {
        // Nothing to unmount, but the dock may still be switched off: on the worker, since
        // that blocks until the kernel has removed its devices.
        start.plan = std::make_unique<UnplugPlan>();
    }
    unplugInProgress_ = true;
    sleep_.unmounted = sleep_.unmounted || beforeSleep;
    ++backgroundSteps_;
    setIconAppearance(VLKIconAppearanceEjecting);
    workers_.start(
        new BackgroundUnmount(*this, std::move(start.plan), everything, beforeSleep, powerOff));
}

void VLKAppDelegate::endWithoutUnmounting(const UnplugOutcome& outcome, bool everything,
                                          bool beforeSleep) {
    setIconAppearance(outcome.safe ? VLKIconAppearanceSafe : VLKIconAppearanceUnsafe);
    if (beforeSleep) {
        sleepUnplugEnded(outcome);
        return;
    }
    // The icon alone answers when there was nothing to unmount, or when a refusal has nothing
    // to name; otherwise the notice follows through the main queue.
    if (outcome.textKey.empty()) {
        return;
    }
    if (!outcome.safe && !outcome.holders.empty()) {
        // What holds the storage the gate found is searched for on a worker, as after unmounting.
        ++backgroundSteps_;
        workers_.start([this, held = outcome, everything]() mutable {
            nameBusyProcess(services_.platform, held);
            QMetaObject::invokeMethod(
                this, [this, held, everything] { badEject(held, everything); },
                Qt::QueuedConnection);
            QMetaObject::invokeMethod(this, &VLKAppDelegate::backgroundStepEnded,
                                      Qt::QueuedConnection);
        });
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, outcome, everything] { badEject(outcome, everything); }, Qt::QueuedConnection);
}

void VLKAppDelegate::unmountInBackground(std::unique_ptr<UnplugPlan> plan, bool everything,
                                         bool beforeSleep, bool powerOff) {
    // The worker's reports reach the main thread as queued events: the status item's text
    // follows a slow unmount without a timer of the application's own.
    const UnmountReports reports{
        [this](const VolumeRecord&, bool) {
            QMetaObject::invokeMethod(this, &VLKAppDelegate::writingEnded, Qt::QueuedConnection);
        },
        [this, everything](const VolumeRecord& volume, const WritebackReading& left) {
            QMetaObject::invokeMethod(
                this,
                [this, name = volume.displayName, left, everything] {
                    showWriting(name, left, everything);
                },
                Qt::QueuedConnection);
        }};
    UnplugOutcome outcome = unmountPlanned(services_.platform, *plan, everything, reports);
    if (outcome.safe && powerOff) {
        outcome.powerOff = powerOffUnplugged(services_.platform, *plan);
    }
    QMetaObject::invokeMethod(
        this,
        [this, owned = std::move(plan), safe = outcome.safe, everything, beforeSleep,
         steps = outcome.powerOff]() mutable {
            completeUnplug(std::move(owned), safe, everything, beforeSleep, std::move(steps));
        },
        Qt::QueuedConnection);
    if (!outcome.safe) {
        // The completion is queued first: the icon turns unsafe and the command is free again
        // before the search below has ended; its report follows on the main thread.
        nameBusyProcess(services_.platform, outcome);
        QMetaObject::invokeMethod(
            this,
            [this, outcome, everything, beforeSleep] {
                if (beforeSleep) {
                    sleepUnplugEnded(outcome);
                } else {
                    badEject(outcome, everything);
                }
            },
            Qt::QueuedConnection);
    }
    QMetaObject::invokeMethod(this, &VLKAppDelegate::backgroundStepEnded, Qt::QueuedConnection);
}

void VLKAppDelegate::showWriting(const std::string& volumeName, const WritebackReading& left,
                                 bool everything) {
    if (!unplugInProgress_ || !busyTimer_ || !busyTimer_->isActive()) {
        return; // the command has ended, or the icon shows something else (the dock left)
    }
    const QString text =
        QString::fromStdString(writingEstimateText(services_.strings, volumeName, left));
    // The icon keeps its busy animation; the words that name the state follow the writing.
    setUnplugMenuItemTitle(text);
    if (statusItem_) {
        statusItem_->setToolTip(QStringLiteral("Quaylet: %1").arg(text));
    }
    if (!writingNotified_) {
        // One notice a command, which its outcome then replaces; the item's text carries on.
        writingNotified_ = true;
        services_.notifications.deliverNotification(
            {localizedText(services_.strings, "THUNDERBOLT_DOCK"), text, std::nullopt,
             NotificationUrgency::Low, QStringLiteral("device"),
             everything ? QStringLiteral("unplug-everything") : QStringLiteral("unplug-dock")});
    }
    writingShown_ = true;
}

void VLKAppDelegate::writingEnded() {
    if (!writingShown_) {
        return;
    }
    writingShown_ = false;
    if (!unplugInProgress_ || !busyTimer_ || !busyTimer_->isActive()) {
        return; // the outcome's appearance, or another, has taken over
    }
    // Back to the words of the busy state; the animation never stopped.
    const IconAppearanceRow& row = iconAppearanceRow(VLKIconAppearanceEjecting);
    setUnplugMenuItemTitle(localizedText(services_.strings, row.titleKey));
    if (statusItem_) {
        statusItem_->setToolTip(
            QStringLiteral("Quaylet: %1").arg(localizedText(services_.strings, row.stateKey)));
    }
}

void VLKAppDelegate::backgroundStepEnded() {
    --backgroundSteps_;
    if (quitting_ && backgroundSteps_ == 0) {
        emit readyToQuit();
    }
}

void VLKAppDelegate::quit() {
    if (backgroundSteps_ == 0) {
        emit readyToQuit();
        return;
    }
    if (quitting_) {
        return;
    }
    quitting_ = true;
    services_.notifications.deliverNotification(
        {QStringLiteral("Quaylet"), localizedText(services_.strings, "QUIT_WHEN_DONE"),
         std::nullopt, NotificationUrgency::Normal, QString(), QStringLiteral("quit")});
}

void VLKAppDelegate::completeUnplug(std::unique_ptr<UnplugPlan> plan, bool safe, bool everything,
                                    bool beforeSleep,
                                    std::optional<std::vector<PowerOffStep>> powerOff) {
    // The notices of this command's own unmounts may still wait on the mount monitor. They
    // come from the time the command was unmounting, when volume events leave the icon alone,
    // and must not turn the outcome shown below back to Normal.
    if (MountMonitor* monitor = services_.platform.mountMonitor.get()) {
        monitor->acknowledgeChanges();
    }
    if (safe) {
        setIconAppearance(VLKIconAppearanceSafe);
        if (beforeSleep) {
            UnplugOutcome outcome;
            outcome.safe = true;
            sleepUnplugEnded(outcome);
        } else {
            goodEject(everything, std::move(powerOff));
        }
    } else {
        setIconAppearance(VLKIconAppearanceUnsafe);
    }
    plan.reset();
    unplugInProgress_ = false;
    writingShown_ = false;
    writingNotified_ = false;
    if (sleep_.waiting) {
        // Sleep came while this command was unmounting; the dock's own unplug follows it.
        sleep_.waiting = false;
        runSleepUnplug();
    }
}

void VLKAppDelegate::goodEject(bool everything, std::optional<std::vector<PowerOffStep>> powerOff) {
    UnplugOutcome safe;
    safe.safe = true;
    safe.powerOff = std::move(powerOff);
    deliverOutcome(safe, everything);
}

void VLKAppDelegate::badEject(const UnplugOutcome& outcome, bool everything) {
    holderQuit_->setRetryEverything(everything); // a quit from this notice retries its command
    deliverOutcome(outcome, everything);
}

void VLKAppDelegate::deliverOutcome(const UnplugOutcome& outcome, bool everything) {
    const UnplugNotification words = unplugNotification(services_.strings, outcome);
    std::optional<QString> text;
    if (words.informativeText) {
        text = QString::fromStdString(*words.informativeText);
    }
    services_.notifications.deliverNotification(
        {QString::fromStdString(words.title), QString::fromStdString(words.subtitle), text,
         outcome.safe ? NotificationUrgency::Normal : NotificationUrgency::Critical,
         QStringLiteral("device.removed"),
         everything ? QStringLiteral("unplug-everything") : QStringLiteral("unplug-dock"),
         rememberHolders(outcome)});
}

} // namespace quaylet
