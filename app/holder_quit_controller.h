// HolderQuitController: the tray's way to quit a process that keeps a volume busy, and to
// unplug again once it has ended.
#pragma once

#include <chrono>
#include <memory>
#include <optional>

#include <QDBusPendingCallWatcher>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include "eject/holder.h"
#include "eject/holder_quit.h"
#include "eject/unplug_outcome.h"
#include "platform/platform.h"
#include "platform/string_table.h"

namespace quaylet {

class VLKAppDelegate;

/// Quits one holder at a time: asks once, asks the process to end (its application's quit
/// action on the session bus, else SIGTERM), shows that it waits in the status item while the
/// icon animates, and unplugs again when the process has ended. When it has not ended after
/// kQuitWaitSeconds, asks a second time before SIGKILL. Never blocks the main thread: the bus
/// calls are asynchronous and the end is heard on the process's pidfd.
class HolderQuitController : public QObject {
    Q_OBJECT
public:
    HolderQuitController(VLKAppDelegate& delegate, Platform& platform, const StringTable& strings,
                         QObject* parent = nullptr);
    ~HolderQuitController() override;

    /// Returns the title of the action that quits `holder`: "Quit NAME" for a desktop
    /// application, "End Process" for another process; empty for a holder that is no process.
    static QString actionTitle(const StringTable& strings, const Holder& holder);
    /// Remembers the holder of `outcome` that its notification offers to quit, the first
    /// process among its holders that may be ended, and returns the action's title; empty when
    /// there is none. Reads /proc only.
    QString offerFor(const UnplugOutcome& outcome);
    /// Remembers which command a retry runs: the dock's (false) or everything's (true).
    void setRetryEverything(bool everything) { retryEverything_ = everything; }
    /// Sets how long a process is given to end after the polite request (kQuitWaitSeconds).
    void setWaitBound(std::chrono::milliseconds bound) { waitBound_ = bound; }
    /// Returns whether a holder is being quit.
    bool busy() const { return static_cast<bool>(held_.process) || question_; }

public slots:
    /// Starts quitting `holder`; ignored while another one is being quit. A holder that may not
    /// be ended (another user's, the system's, no process) is refused with a message saying why.
    void quitHolder(const quaylet::Holder& holder);
    /// Starts quitting the holder the last notification offered; nothing when it offered none.
    void quitOffered();

signals:
    /// The holder ended (true; the unplug was started again) or was left running (false).
    void finished(bool ended);

private:
    using Step = void (HolderQuitController::*)();
    void ask(const QString& text, const QString& acceptTitle, Step accepted, Step declined);
    void tell(const QString& text);
    void decline();
    void requestPolitely();
    void askApplication(const QString& busName);
    void terminate();
    void startWaiting(std::chrono::milliseconds bound);
    void processEnded();
    void deadlinePassed();
    void forceQuit();
    void leaveRunning();
    void finish(bool ended);
    QString holderText(const char* key) const;

    VLKAppDelegate& delegate_;
    Platform& platform_;
    const StringTable& strings_;
    HeldHolder held_;
    std::optional<Holder> offered_;
    bool retryEverything_ = false;
    std::chrono::milliseconds waitBound_ = std::chrono::seconds(kQuitWaitSeconds);
    bool forced_ = false; // SIGKILL was sent: the wait that follows is the last
    QPointer<QMessageBox> question_;
    std::unique_ptr<QSocketNotifier> endNotifier_;
    QTimer deadline_; // single shot: the bound of one wait
};

} // namespace quaylet
