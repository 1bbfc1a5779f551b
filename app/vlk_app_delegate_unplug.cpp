// The unplug command: scan on the main thread, unmount and busy-process search on a worker,
// outcome back on the main thread, and the notifications that report it.
#include <vector>

#include <QMetaObject>
#include <QRunnable>

#include "app/vlk_app_delegate.h"
#include "eject/busy_process_finder.h"
#include "eject/unmount_worker.h"
#include "volumes/scan_volumes.h"

namespace quaylet {

namespace {

ScanSources scanSourcesOf(Platform& platform) {
    return ScanSources{*platform.registry, *platform.mountTable, *platform.fileManager,
                       *platform.deviceNaming};
}

UnmountTools unmountToolsOf(Platform& platform) {
    return UnmountTools{
        *platform.processRunner, platform.toolCommands, *platform.mountPointProbe, {}};
}

ProcessTools processToolsOf(Platform& platform) {
    return ProcessTools{*platform.processRunner, platform.toolCommands,
                        *platform.applicationLookup};
}

} // namespace

/// The background step: owns the plan from the hand-over until it queues the completion.
class VLKAppDelegate::BackgroundUnmount : public QRunnable {
public:
    BackgroundUnmount(VLKAppDelegate& delegate, std::unique_ptr<UnplugPlan> plan)
        : delegate_(delegate), plan_(std::move(plan)) {}
    void run() override { delegate_.unmountInBackground(std::move(plan_)); }

private:
    VLKAppDelegate& delegate_;
    std::unique_ptr<UnplugPlan> plan_;
};

void VLKAppDelegate::unplugDock() {
    unplug(false);
}

void VLKAppDelegate::unplugEverything() {
    unplug(true);
}

void VLKAppDelegate::unplug(bool everything) {
    if (unplugInProgress_) {
        return;
    }
    auto plan = std::make_unique<UnplugPlan>();
    bool bootVolumeFound = false;
    const std::int32_t count =
        scanVolumes(scanSourcesOf(services_.platform), *plan, everything, bootVolumeFound);
    if (bootVolumeFound) {
        refuseBootVolume(*plan);
        return;
    }
    if (count < 1) {
        plan.reset();
        setIconAppearance(VLKIconAppearanceSafe);
        return;
    }
    unplugInProgress_ = true;
    setIconAppearance(VLKIconAppearanceEjecting);
    workers_.start(new BackgroundUnmount(*this, std::move(plan)));
}

void VLKAppDelegate::refuseBootVolume(const UnplugPlan& plan) {
    setIconAppearance(VLKIconAppearanceUnsafe);
    std::vector<UnmountFailure> failures;
    plan.copyFailures(failures);
    if (failures.empty()) {
        return;
    }
    const QString volumeName = QString::fromStdString(failures.front().displayName);
    QMetaObject::invokeMethod(
        this, [this, volumeName] { badEject(volumeName, true, std::nullopt); },
        Qt::QueuedConnection);
}

void VLKAppDelegate::unmountInBackground(std::unique_ptr<UnplugPlan> plan) {
    unmountAll(*plan, unmountToolsOf(services_.platform));
    std::vector<UnmountFailure> failures;
    const std::int32_t failureCount = plan->copyFailures(failures);
    QMetaObject::invokeMethod(
        this,
        [this, owned = std::move(plan), failureCount]() mutable {
            completeUnplug(std::move(owned), failureCount);
        },
        Qt::QueuedConnection);
    if (failureCount == 0) {
        return;
    }
    // The completion is queued first: the icon turns unsafe and the command is free again
    // before the search below has ended; its report follows on the main thread.
    const QString volumeName = QString::fromStdString(failures.front().displayName);
    BusyProcessFinder finder(processToolsOf(services_.platform));
    finder.addFailedVolumes(failures);
    finder.findBusyProcesses();
    std::vector<BusyProcess> processes;
    finder.copyBusyProcesses(processes);
    std::optional<QString> processName;
    if (!processes.empty()) {
        processName = QString::fromStdString(processes.front().name);
    }
    QMetaObject::invokeMethod(
        this, [this, volumeName, processName] { badEject(volumeName, false, processName); },
        Qt::QueuedConnection);
}

void VLKAppDelegate::completeUnplug(std::unique_ptr<UnplugPlan> plan, std::int32_t failureCount) {
    // The notices of this command's own unmounts may still wait on the mount monitor. They
    // come from the time the command was unmounting, when volume events leave the icon alone,
    // and must not turn the outcome shown below back to Normal.
    if (MountMonitor* monitor = services_.platform.mountMonitor.get()) {
        monitor->acknowledgeChanges();
    }
    if (failureCount < 1) {
        setIconAppearance(VLKIconAppearanceSafe);
        goodEject();
    } else {
        setIconAppearance(VLKIconAppearanceUnsafe);
    }
    plan.reset();
    unplugInProgress_ = false;
}

void VLKAppDelegate::goodEject() {
    const LocalizedStrings& strings = services_.strings;
    services_.notifications.deliverNotification(
        {strings.text(QStringLiteral("THUNDERBOLT_DOCK")),
         strings.text(QStringLiteral("SAFE_TO_UNPLUG_DOCK")), std::nullopt});
}

void VLKAppDelegate::badEject(const QString& volumeName, bool bootVolume,
                              const std::optional<QString>& processName) {
    const LocalizedStrings& strings = services_.strings;
    QString text;
    if (bootVolume) {
        text = strings.format(QStringLiteral("BUSY_BOOT_VOLUME"), {volumeName});
    } else if (processName && !processName->isEmpty()) {
        text = strings.format(QStringLiteral("BUSY_VOLUME_WITH"), {volumeName, *processName});
    } else {
        text = strings.format(QStringLiteral("BUSY_VOLUME"), {volumeName});
    }
    services_.notifications.deliverNotification(
        {strings.text(QStringLiteral("THUNDERBOLT_DOCK")),
         strings.text(QStringLiteral("UNSAFE_TO_UNPLUG_DOCK")), text});
}

} // namespace quaylet
