// The delegate's start-up sequence, preferences window, more-info page and monitor hook-ups.
#include "app/vlk_app_delegate.h"

#include <csignal>
#include <thread>

#include <QCursor>
#include <QDesktopServices>
#include <QSignalBlocker>
#include <QUrl>

#include "app/autostart_list.h"
#include "app/command_runner.h"
#include "app/holder_quit_controller.h"
#include "app/holders_window.h"
#include "app/preferences_window.h"
#include "app/sleep_guard.h"
#include "app/status_menu.h"
#include "dock/dock_monitor.h"

namespace quaylet {

namespace {

/// Key whose text is the address of the more-info page; without a translation, the key itself.
constexpr const char* kMoreInfoAddressKey = "https://quaylet.invalid/more-info";
/// Worker threads: one unmount and a late busy-process search of the command before it may
/// overlap, and neither may wait for the other.
constexpr int kWorkerThreads = 4;

} // namespace

VLKAppDelegate::VLKAppDelegate(AppServices services, QObject* parent)
    : QObject(parent), services_(std::move(services)) {
    workers_.setMaxThreadCount(kWorkerThreads);
    loadLayout();
    holderQuit_ =
        std::make_unique<HolderQuitController>(*this, services_.platform, services_.strings);
    listenToNotificationActions();
}

VLKAppDelegate::~VLKAppDelegate() {
    workers_.waitForDone();
    services_.notifications.setActionHandlers({}, {});
    teardownLoginItems();
}

void VLKAppDelegate::loadLayout() {
    statusMenu_ = buildStatusMenu(*this, services_.strings);
    preferencesWindow_ = std::make_unique<PreferencesWindow>(
        services_.strings, services_.securitySettingsCommand.has_value());
    QCheckBox* startOnLogin = preferencesWindow_->startOnLoginButton;
    // The check box is bound to launchOnLogin: it shows the property and sets it.
    const auto showLaunchOnLogin = [this, startOnLogin] {
        const QSignalBlocker blocker(startOnLogin);
        startOnLogin->setChecked(launchOnLogin());
    };
    connect(this, &VLKAppDelegate::launchOnLoginChanged, startOnLogin, showLaunchOnLogin);
    connect(startOnLogin, &QCheckBox::toggled, this, &VLKAppDelegate::setLaunchOnLogin);
    showLaunchOnLogin();
    QCheckBox* beforeSleep = preferencesWindow_->unplugBeforeSleepButton;
    beforeSleep->setChecked(unplugBeforeSleep());
    connect(beforeSleep, &QCheckBox::toggled, this, &VLKAppDelegate::setUnplugBeforeSleep);
    QCheckBox* powerOff = preferencesWindow_->powerOffButton;
    powerOff->setChecked(powerOffAfterUnplug());
    connect(powerOff, &QCheckBox::toggled, this, &VLKAppDelegate::setPowerOffAfterUnplug);
    connect(preferencesWindow_->openSystemPreferences, &QPushButton::clicked, this,
            &VLKAppDelegate::openSystemPreferencesSecurity);
}

void VLKAppDelegate::applicationDidFinishLaunching() {
    std::signal(SIGCHLD, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    statusItem_ = std::make_unique<QSystemTrayIcon>();
    statusItem_->setContextMenu(statusMenu_.get());
    // A click on the icon opens the menu too, as a status item's menu does.
    connect(statusItem_.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger && statusMenu_) {
                    statusMenu_->popup(QCursor::pos());
                }
            });
    setIconAppearance(VLKIconAppearanceNormal);
    statusItem_->show();
    setupLoginItems();
    monitorVolumes();
    monitorDocks();
    watchSleep();
    // The first run is only taken when it can be recorded: with a settings file that cannot
    // be written, every launch would otherwise add the login item again that the user removed.
    QSettings& defaults = services_.userDefaults;
    if (!defaults.value(QStringLiteral("hasEverRun"), false).toBool() && defaults.isWritable()) {
        // Should the write fail after all, the settings keep the value in memory: this process
        // still takes the first run only once.
        defaults.setValue(QStringLiteral("hasEverRun"), true);
        defaults.sync();
        setLaunchOnLogin(true);
        showPreferences(this);
    }
}

void VLKAppDelegate::showPreferences(QObject* sender) {
    const bool activate = sender != this;
    updatePreferences(sender);
    preferencesWindow_->applyDarkAppearance();
    preferencesWindow_->setAttribute(Qt::WA_ShowWithoutActivating, !activate);
    preferencesWindow_->show();
    preferencesWindow_->raise();
    if (activate) {
        preferencesWindow_->activateWindow();
    }
}

void VLKAppDelegate::updatePreferences(QObject* /*sender*/) {}

void VLKAppDelegate::moreInfo() {
    const QUrl address(localizedText(services_.strings, kMoreInfoAddressKey), QUrl::StrictMode);
    if (address.isValid() && !address.isRelative()) {
        QDesktopServices::openUrl(address);
    }
}

void VLKAppDelegate::openSystemPreferencesSecurity() {
    if (!services_.securitySettingsCommand) {
        return;
    }
    // The settings program keeps its output open for as long as its window is open, so it is
    // waited for on a thread of its own; the outcome is not reported.
    std::thread([command = *services_.securitySettingsCommand] {
        openSecurityPreferences(command);
    }).detach();
}

void VLKAppDelegate::monitorVolumes() {
    MountMonitor* monitor = services_.platform.mountMonitor.get();
    if (volumeNotifier_ || !monitor || monitor->descriptor() < 0) {
        return;
    }
    volumeNotifier_ =
        std::make_unique<QSocketNotifier>(monitor->descriptor(), QSocketNotifier::Read);
    connect(volumeNotifier_.get(), &QSocketNotifier::activated, this, [this, monitor] {
        if (monitor->acknowledgeChanges()) {
            volumesChanged();
        }
    });
}

void VLKAppDelegate::volumesChanged() {
    if (!unplugInProgress_) {
        setIconAppearance(VLKIconAppearanceNormal);
    }
}

void VLKAppDelegate::monitorDocks() {
    if (!dockMonitor_) {
        dockMonitor_ = std::make_unique<DockMonitor>(*services_.platform.registry);
        dockMonitor_->setDockCountObserver(
            [this](std::uint64_t count) { dockCountChangedTo(count); });
    }
    const bool present = dockMonitor_->startDockMonitor();
    NotificationPort* port = dockMonitor_->notificationPort();
    if (!dockNotifier_ && port && port->descriptor() >= 0) {
        dockNotifier_ =
            std::make_unique<QSocketNotifier>(port->descriptor(), QSocketNotifier::Read);
        connect(dockNotifier_.get(), &QSocketNotifier::activated, this,
                [port] { port->dispatchPending(); });
    }
    setIconAppearance(present ? VLKIconAppearanceNormal : VLKIconAppearanceNoDocks);
    // The dock count cannot change without device events; the status item's text says so.
    if (const std::error_code failure = dockMonitor_->watchFailure(); failure && statusItem_) {
        statusItem_->setToolTip(
            QStringLiteral("Quaylet: cannot watch for docks arriving or leaving (%1)")
                .arg(QString::fromStdString(failure.message())));
    }
}

bool VLKAppDelegate::powerOffAfterUnplug() const {
    return services_.userDefaults.value(kPowerOffAfterUnplugKey, false).toBool();
}

void VLKAppDelegate::setPowerOffAfterUnplug(bool powerOff) {
    services_.userDefaults.setValue(kPowerOffAfterUnplugKey, powerOff);
}

} // namespace quaylet
