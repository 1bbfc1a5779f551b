// logind's sleep inhibitor: taken and closed again, PrepareForSleep heard, the delay bound kept.
#include "app/sleep_guard.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace quaylet {

namespace {

const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString kSignal = QStringLiteral("PrepareForSleep");
/// What `systemd-inhibit --list` shows for the inhibitor.
const QString kWhy = QStringLiteral("Unmounting the dock's volumes before sleep");

} // namespace

SleepGuard::SleepGuard(QDBusConnection systemBus, QObject* parent)
    : QObject(parent), bus_(std::move(systemBus)) {
    bound_.setSingleShot(true);
    connect(&bound_, &QTimer::timeout, this, [this] {
        if (sleeping_ && inhibitor_) {
            inhibitor_.reset();
            emit releasedAtBound();
        }
    });
}

void SleepGuard::setEnabled(bool on) {
    if (on == enabled_) {
        return;
    }
    enabled_ = on;
    listen(on);
    if (on) {
        askDelayBound();
        takeInhibitor();
        return;
    }
    bound_.stop();
    inhibitor_.reset();
    sleeping_ = false;
}

void SleepGuard::release() {
    // After resume the inhibitor held is the next sleep's: an unplug that ends late keeps it.
    if (sleeping_) {
        bound_.stop();
        inhibitor_.reset();
    }
}

void SleepGuard::askDelayBound() {
    if (boundAsked_ || !bus_.isConnected()) {
        return;
    }
    boundAsked_ = true;
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kManager << QStringLiteral("InhibitDelayMaxUSec");
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(get), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* finished) {
                const QDBusPendingReply<QDBusVariant> reply = *finished;
                finished->deleteLater();
                // Without an answer the bound stays at logind's default; the Inhibit call
                // tells whether logind is there at all.
                const qulonglong micros =
                    reply.isValid() ? reply.value().variant().toULongLong() : 0;
                if (micros > 0) {
                    delayBound_ = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::microseconds(micros));
                }
            });
}

void SleepGuard::takeInhibitor() {
    if (!enabled_ || !available_ || asking_ || inhibitor_) {
        return;
    }
    if (!bus_.isConnected()) {
        const QDBusError error = bus_.lastError();
        becomeUnavailable(error.isValid() ? error.message() : QStringLiteral("no system bus"));
        return;
    }
    asking_ = true;
    QDBusMessage inhibit =
        QDBusMessage::createMethodCall(kService, kPath, kManager, QStringLiteral("Inhibit"));
    inhibit << QStringLiteral("sleep") << QStringLiteral("Quaylet") << kWhy
            << QStringLiteral("delay");
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(inhibit), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* finished) {
                const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *finished;
                // The watcher holds a copy of the descriptor: it goes with the watcher.
                finished->deleteLater();
                asking_ = false;
                if (reply.isError()) {
                    becomeUnavailable(reply.error().message());
                } else if (enabled_ && reply.value().isValid()) {
                    inhibitor_ = reply.value();
                    logind_ = reply.reply().service();
                }
            });
}

void SleepGuard::listen(bool on) {
    if (!bus_.isConnected()) {
        return;
    }
    // From any sender, filtered by hand: with logind's well-known name Qt would ask the bus
    // daemon for its owner and wait for the answer. Subscribing before the inhibitor is asked
    // for leaves no gap in which an announcement could be missed.
    if (on) {
        bus_.connect(QString(), kPath, kManager, kSignal, this,
                     SLOT(prepareForSleep(bool, QDBusMessage)));
    } else {
        bus_.disconnect(QString(), kPath, kManager, kSignal, this,
                        SLOT(prepareForSleep(bool, QDBusMessage)));
    }
}

void SleepGuard::prepareForSleep(bool start, const QDBusMessage& message) {
    // Only the logind that handed out the inhibitor may announce sleep; anyone may send a
    // signal on the system bus.
    if (!enabled_ || logind_.isEmpty() || message.service() != logind_) {
        return;
    }
    if (!start) {
        sleeping_ = false;
        bound_.stop();
        takeInhibitor();
        emit resumed();
        return;
    }
    if (sleeping_ || !inhibitor_) {
        sleeping_ = true;
        return; // nothing holds sleep back, so there is no time to unplug
    }
    sleeping_ = true;
    // A fifth of the bound is left for closing the descriptor and logind noticing it.
    bound_.start(delayBound_ - delayBound_ / 5);
    emit sleepRequested();
}

void SleepGuard::becomeUnavailable(const QString& reason) {
    if (available_) {
        available_ = false;
        emit unavailable(reason);
    }
}

} // namespace quaylet
