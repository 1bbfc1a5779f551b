// SleepGuard: logind's delay inhibitor for sleep, held so that the dock can be unplugged first.
#pragma once

#include <chrono>
#include <optional>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>
#include <QTimer>

namespace quaylet {

/// Holds logind's "delay" inhibitor for sleep while enabled, and says when sleep is coming.
/// When logind announces sleep, it emits sleepRequested and keeps the inhibitor until release,
/// but never past logind's delay bound: it lets go by itself a little before it. After resume it
/// takes the inhibitor again and emits resumed. Every bus call is asynchronous. Without logind
/// (or when logind refuses the inhibitor) it says so once through unavailable and never asks
/// again on its own.
class SleepGuard : public QObject {
    Q_OBJECT
public:
    /// Talks to logind on `systemBus`; nothing is asked until it is enabled.
    explicit SleepGuard(QDBusConnection systemBus, QObject* parent = nullptr);

    /// Takes the inhibitor and listens for sleep when `on`; lets go of both when not.
    void setEnabled(bool on);
    /// Returns whether an inhibitor is held.
    bool holdsInhibitor() const { return inhibitor_.has_value(); }
    /// Returns whether logind has neither been missing nor refused the inhibitor.
    bool available() const { return available_; }
    /// Lets sleep go on: closes the inhibitor taken for it; nothing when none is held.
    void release();

    /// Returns the time logind waits for a delay inhibitor (its InhibitDelayMaxUSec; 5 s until
    /// logind has said otherwise).
    std::chrono::milliseconds delayBound() const { return delayBound_; }

signals:
    /// Sleep is coming: unplug, then call release. The inhibitor goes at the bound regardless.
    void sleepRequested();
    /// The bound came before release: sleep went on without waiting for the unplug to end.
    void releasedAtBound();
    /// The computer woke up; the inhibitor is being taken again.
    void resumed();
    /// logind cannot be reached or refused the inhibitor, for `reason`; emitted once.
    void unavailable(const QString& reason);

private slots:
    void prepareForSleep(bool start, const QDBusMessage& message);

private:
    void askDelayBound();
    void takeInhibitor();
    void listen(bool on);
    void becomeUnavailable(const QString& reason);

    QDBusConnection bus_;
    bool enabled_ = false;
    bool available_ = true;
    bool asking_ = false;   // an Inhibit call waits for its answer
    bool sleeping_ = false; // between the announcement of sleep and resume
    bool boundAsked_ = false;
    QString logind_; // the unique name of the logind that answered Inhibit
    std::optional<QDBusUnixFileDescriptor> inhibitor_;
    std::chrono::milliseconds delayBound_{5000};
    QTimer bound_; // single shot: lets go of the inhibitor before logind stops waiting
};

} // namespace quaylet
