// The unplug command in the tray: the shared unplug steps, the scan on the main thread, the
// unmounting and the busy-process search on a worker, the outcome back on the main thread, and
// the notifications that report it.
#include <QMetaObject>
#include <QRunnable>

#include "app/holder_quit_controller.h"
#include "app/vlk_app_delegate.h"
#include "eject/unplug_flow.h"

namespace quaylet {

/// The background step: owns the plan from the hand-over until it queues the completion.
class VLKAppDelegate::BackgroundUnmount : public QRunnable {
public:
    BackgroundUnmount(VLKAppDelegate& delegate, std::unique_ptr<UnplugPlan> plan, bool everything)
        : delegate_(delegate), plan_(std::move(plan)), everything_(everything) {}
    void run() override { delegate_.unmountInBackground(std::move(plan_), everything_); }

private:
    VLKAppDelegate& delegate_;
    std::unique_ptr<UnplugPlan> plan_;
    bool everything_;
};

void VLKAppDelegate::unplugDock() {
    unplug(false);
}

void VLKAppDelegate::unplugEverything() {
    unplug(true);
}

void VLKAppDelegate::unplug(bool everything) {
    if (unplugInProgress_ || quitting_) {
        return;
    }
    UnplugStart start = beginUnplug(services_.platform, everything);
    if (start.outcome) {
        endWithoutUnmounting(*start.outcome, everything);
        return;
    }
    unplugInProgress_ = true;
    ++backgroundSteps_;
    setIconAppearance(VLKIconAppearanceEjecting);
    workers_.start(new BackgroundUnmount(*this, std::move(start.plan), everything));
}

void VLKAppDelegate::endWithoutUnmounting(const UnplugOutcome& outcome, bool everything) {
    setIconAppearance(outcome.safe ? VLKIconAppearanceSafe : VLKIconAppearanceUnsafe);
    // The icon alone answers when there was nothing to unmount, or when a refusal has nothing
    // to name; otherwise the notice follows through the main queue.
    if (outcome.textKey.empty()) {
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, outcome, everything] { badEject(outcome, everything); }, Qt::QueuedConnection);
}

void VLKAppDelegate::unmountInBackground(std::unique_ptr<UnplugPlan> plan, bool everything) {
    UnplugOutcome outcome = unmountPlanned(services_.platform, *plan, everything);
    QMetaObject::invokeMethod(
        this,
        [this, owned = std::move(plan), safe = outcome.safe, everything]() mutable {
            completeUnplug(std::move(owned), safe, everything);
        },
        Qt::QueuedConnection);
    if (!outcome.safe) {
        // The completion is queued first: the icon turns unsafe and the command is free again
        // before the search below has ended; its report follows on the main thread.
        nameBusyProcess(services_.platform, outcome);
        QMetaObject::invokeMethod(
            this, [this, outcome, everything] { badEject(outcome, everything); },
            Qt::QueuedConnection);
    }
    QMetaObject::invokeMethod(this, &VLKAppDelegate::backgroundStepEnded, Qt::QueuedConnection);
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

void VLKAppDelegate::completeUnplug(std::unique_ptr<UnplugPlan> plan, bool safe, bool everything) {
    // The notices of this command's own unmounts may still wait on the mount monitor. They
    // come from the time the command was unmounting, when volume events leave the icon alone,
    // and must not turn the outcome shown below back to Normal.
    if (MountMonitor* monitor = services_.platform.mountMonitor.get()) {
        monitor->acknowledgeChanges();
    }
    if (safe) {
        setIconAppearance(VLKIconAppearanceSafe);
        goodEject(everything);
    } else {
        setIconAppearance(VLKIconAppearanceUnsafe);
    }
    plan.reset();
    unplugInProgress_ = false;
}

void VLKAppDelegate::goodEject(bool everything) {
    UnplugOutcome safe;
    safe.safe = true;
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
         everything ? QStringLiteral("unplug-everything") : QStringLiteral("unplug-dock")});
}

} // namespace quaylet
