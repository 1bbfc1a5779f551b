// VLKAppDelegate: the tray application's state, status item, unplug command and login item.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include <QFileSystemWatcher>
#include <QMenu>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QStringList>
#include <QSystemTrayIcon>
#include <QThreadPool>
#include <QTimer>

#include "app/app_services.h"
#include "app/icon_appearance.h"
#include "app/status_images.h"
#include "eject/unplug_outcome.h"
#include "platform/writeback_gauge.h"
#include "volumes/unplug_plan.h"

namespace quaylet {

/// The user default that turns powering off after a safe unplug on.
inline const QString kPowerOffAfterUnplugKey = QStringLiteral("powerOffAfterUnplug");

class AutostartList;
class DockMonitor;
class HolderQuitController;
class HoldersWindow;
class PreferencesWindow;
class SleepGuard;

/// The application: one status item with a menu, the unplug command, the dock and volume
/// monitors, the login item and the preferences window. Lives on the main thread for the
/// whole process; only the unmounting and the busy-process search run on worker threads.
class VLKAppDelegate : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString unplugMenuItemTitle READ unplugMenuItemTitle WRITE setUnplugMenuItemTitle
                   NOTIFY unplugMenuItemTitleChanged)
    Q_PROPERTY(
        bool launchOnLogin READ launchOnLogin WRITE setLaunchOnLogin NOTIFY launchOnLoginChanged)

public:
    /// Creates the delegate with its layout (status menu, preferences window); nothing runs
    /// until applicationDidFinishLaunching.
    explicit VLKAppDelegate(AppServices services, QObject* parent = nullptr);
    /// Waits for the background steps still running, then tears down the login items list.
    ~VLKAppDelegate() override;

    /// The start-up sequence: signals, status item, Normal appearance, login items, volume and
    /// dock monitors, the sleep inhibitor when wanted, and on the first run the login item and
    /// the preferences window.
    void applicationDidFinishLaunching();
    /// Shows the preferences window in its dark appearance; activates the application unless
    /// `sender` is the delegate itself.
    void showPreferences(QObject* sender);
    /// Called before the preferences window is shown; changes nothing.
    void updatePreferences(QObject* sender);
    /// Opens the more-info page (the address its key looks up to); nothing when invalid.
    void moreInfo();
    /// Opens the desktop's privacy settings, off the main thread; reports nothing.
    void openSystemPreferencesSecurity();
    /// Reacts to the mount monitor's descriptor on the main thread; once only.
    void monitorVolumes();
    /// A volume was mounted or unmounted: Normal appearance unless an unplug is unmounting.
    void volumesChanged();
    /// Starts the dock monitor with the delegate as observer and shows Normal or NoDocks.
    void monitorDocks();

    /// The unplug item's action: unplug(false).
    void unplugDock();
    /// The "unplug everything" action: unplug(true).
    void unplugEverything();
    /// The unplug command; ignored while an earlier one is unmounting, and once quitting.
    void unplug(bool everything);
    /// Posts the safe-to-unplug notification of the command `everything` names, with what was
    /// powered off when `powerOff` is set; it replaces that command's last notification.
    void goodEject(bool everything = false,
                   std::optional<std::vector<PowerOffStep>> powerOff = std::nullopt);
    /// Posts the unsafe-to-unplug notification with the text of `outcome`; it replaces the
    /// last notification of the command `everything` names.
    void badEject(const UnplugOutcome& outcome, bool everything = false);
    /// Returns whether an unplug command is unmounting.
    bool unplugInProgress() const { return unplugInProgress_; }
    /// The Quit item's action. Without work on a worker thread, announces readyToQuit at
    /// once. Otherwise says that Quaylet quits when done, ignores new commands, and announces
    /// readyToQuit once the last background step has reported; it never waits here.
    void quit();

    /// Applies an appearance code: title, unplug item state, image, busy animation.
    void setIconAppearance(VLKIconAppearance code);
    /// Shows the next frame of the busy animation.
    void busyTimerFired();
    /// Enables or disables the unplug item; nothing when the menu has none.
    void setUnplugMenuItemEnabled(bool enabled);
    /// The dock monitor's count: NoDocks for 0, Normal otherwise, whatever is showing.
    void dockCountChangedTo(std::uint64_t count);

    /// Returns the title the unplug item shows.
    QString unplugMenuItemTitle() const { return unplugMenuItemTitle_; }
    /// Sets the unplug item's title; announces a change.
    void setUnplugMenuItemTitle(const QString& title);
    /// Returns the status menu (null only after a null menu was set).
    QMenu* statusMenu() const { return statusMenu_.get(); }
    /// Replaces the status menu; the status item shows the new one.
    void setStatusMenu(std::unique_ptr<QMenu> menu);
    /// Returns the status item; null before launch.
    QSystemTrayIcon* statusItem() const { return statusItem_.get(); }
    /// Returns the most recent busy timer; null before the first Ejecting appearance.
    const QTimer* busyTimer() const { return busyTimer_.get(); }
    /// Returns the busy animation's frame counter (0 to 5, never reset).
    std::int32_t busyFrameIndex() const { return busyFrameIndex_; }
    /// Returns the name of the image the status item shows; empty before the first one.
    const QString& statusImageName() const { return statusImageName_; }

    /// Opens the login items list and starts observing it; nothing when it is open already.
    void setupLoginItems();
    /// Stops observing the login items list and closes it.
    void teardownLoginItems();
    /// Returns the login items (entry paths, in list order); empty without a list.
    QStringList loginItems() const;
    /// Returns the application's own login item, or nullopt.
    std::optional<QString> mainBundleLoginItemCopy() const;
    /// Adds the application's login item unless it is present.
    void addMainBundleToLoginItems();
    /// Removes the application's first login item, if any.
    void removeMainBundleFromLoginItems();
    /// Returns whether the application has a login item; false when the list cannot be made.
    bool launchOnLogin();
    /// Adds or removes the application's login item; nothing when the list cannot be made.
    void setLaunchOnLogin(bool launch);

    /// Returns whether the dock is unplugged before the computer sleeps (off unless set).
    bool unplugBeforeSleep() const;
    /// Stores the preference and takes or lets go of logind's sleep inhibitor accordingly.
    void setUnplugBeforeSleep(bool on);
    /// Returns whether a safe unplug goes on to power off the USB drives it unmounted and the
    /// dock (the user default "powerOffAfterUnplug"; off unless set).
    bool powerOffAfterUnplug() const;
    /// Sets the user default "powerOffAfterUnplug".
    void setPowerOffAfterUnplug(bool powerOff);

    /// Returns the preferences window with its views.
    PreferencesWindow* preferencesWindow() const { return preferencesWindow_.get(); }
    /// Returns what quits a process that keeps a volume busy and then unplugs again; the quit
    /// actions of the unsafe notification and of the Details window lead to its quitHolder.
    HolderQuitController* holderQuitController() const { return holderQuit_.get(); }

    /// Shows the Details window with the holders of the last unsafe outcome; nothing when it
    /// named none.
    void showHolderDetails();
    /// Returns the Details window; null until it was first shown.
    HoldersWindow* holdersWindow() const { return holdersWindow_.get(); }

signals:
    /// The unplug item's title changed.
    void unplugMenuItemTitleChanged(const QString& title);
    /// The login items list changed, or the login item was set; read launchOnLogin again.
    void launchOnLoginChanged();
    /// Quit was chosen and no background step is left: the application may end.
    void readyToQuit();

private:
    class BackgroundUnmount;

    /// The unplug run because the computer is going to sleep, from the request to the report.
    struct SleepUnplug {
        bool waiting = false;   // for the command that was unmounting when sleep came
        bool running = false;   // its outcome is still to come
        bool unmounted = false; // volumes were handed to the worker
        bool late = false;      // sleep went on before the outcome came
        bool resumed = false;   // the computer woke before the outcome came
        std::optional<UnplugOutcome> outcome;
    };

    void loadLayout();
    void showStatusImage(const QString& name);
    void startUnplug(bool everything, bool beforeSleep);
    void endWithoutUnmounting(const UnplugOutcome& outcome, bool everything, bool beforeSleep);
    void unmountInBackground(std::unique_ptr<UnplugPlan> plan, bool everything, bool beforeSleep,
                             bool powerOff);
    void completeUnplug(std::unique_ptr<UnplugPlan> plan, bool safe, bool everything,
                        bool beforeSleep, std::optional<std::vector<PowerOffStep>> powerOff);
    void deliverOutcome(const UnplugOutcome& outcome, bool everything);
    void backgroundStepEnded();
    void showWriting(const std::string& volumeName, const WritebackReading& left, bool everything);
    void writingEnded();
    void listenToNotificationActions();
    QList<NotificationAction> rememberHolders(const UnplugOutcome& outcome);
    void loginItemsChanged();
    void watchLoginItems();
    void watchSleep();
    void unplugForSleep();
    void runSleepUnplug();
    void sleepUnplugEnded(const UnplugOutcome& outcome);
    void resumedFromSleep();
    void deliverSleepReport();

    AppServices services_;
    std::unique_ptr<AutostartList> loginItemsListRef_;
    std::unique_ptr<QFileSystemWatcher> loginItemsObserver_;
    QString unplugMenuItemTitle_;
    std::unique_ptr<QMenu> statusMenu_;
    std::unique_ptr<QSystemTrayIcon> statusItem_;
    std::unique_ptr<PreferencesWindow> preferencesWindow_;
    std::unique_ptr<HolderQuitController> holderQuit_;
    std::unique_ptr<HoldersWindow> holdersWindow_;
    std::vector<VolumeHolders> lastHolders_; // of the last outcome, for its Details
    StatusImages images_;
    QString statusImageName_;
    std::unique_ptr<QTimer> busyTimer_;
    std::int32_t busyFrameIndex_ = 0;
    bool unplugInProgress_ = false;
    int backgroundSteps_ = 0; // unmounts whose last report is still to come
    bool quitting_ = false;
    bool writingShown_ = false;    // the status item tells of a slow unmount
    bool writingNotified_ = false; // this command has posted its writing notice
    std::unique_ptr<DockMonitor> dockMonitor_;
    std::unique_ptr<QSocketNotifier> dockNotifier_;
    std::unique_ptr<QSocketNotifier> volumeNotifier_;
    std::unique_ptr<SleepGuard> sleepGuard_;
    SleepUnplug sleep_;
    QThreadPool workers_; // last: destroyed first, after the background steps have ended
};

} // namespace quaylet
