// The tray's way to quit a process that keeps a volume busy: one question, the polite request,
// a wait on the process's pidfd with the status item saying so, a second question before
// SIGKILL, and the unplug started again once the process has ended.
#include "app/holder_quit_controller.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingReply>
#include <QPushButton>
#include <QVariantList>
#include <QVariantMap>

#include "app/localized_text.h"
#include "app/vlk_app_delegate.h"

namespace quaylet {
namespace {

/// How long the bus and the application get to answer before SIGTERM is sent instead.
constexpr int kBusAnswerTimeoutMs = 5000;
/// How long a process is given to go after SIGKILL (it may wait on a device first).
constexpr std::chrono::seconds kKillWait(5);

} // namespace

HolderQuitController::HolderQuitController(VLKAppDelegate& delegate, Platform& platform,
                                           const StringTable& strings, QObject* parent)
    : QObject(parent), delegate_(delegate), platform_(platform), strings_(strings) {
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, &HolderQuitController::deadlinePassed);
}

HolderQuitController::~HolderQuitController() {
    if (question_) {
        delete question_.data();
    }
}

QString HolderQuitController::actionTitle(const StringTable& strings, const Holder& holder) {
    if (holder.kind != Holder::Kind::Process) {
        return {};
    }
    if (holder.desktopEntry.empty()) {
        return localizedText(strings, "DETAILS_END_PROCESS");
    }
    return QString::fromStdString(strings.format("DETAILS_QUIT_HOLDER", {holderName(holder)}));
}

QString HolderQuitController::offerFor(const UnplugOutcome& outcome) {
    offered_.reset();
    const std::optional<QuitCaller> caller = quitCaller(*platform_.processSignals);
    if (!caller) {
        return {};
    }
    for (const VolumeHolders& volume : outcome.holders) {
        for (const Holder& holder : volume.holders) {
            if (holdForQuit(*platform_.processSignals, *caller, holder).process) {
                offered_ = holder;
                return actionTitle(strings_, holder);
            }
        }
    }
    return {};
}

void HolderQuitController::quitOffered() {
    if (offered_) {
        quitHolder(*offered_);
    }
}

QString HolderQuitController::holderText(const char* key) const {
    return QString::fromStdString(
        strings_.format(key, {holderName(held_.holder), std::to_string(held_.holder.pid),
                              std::to_string(kQuitWaitSeconds)}));
}

void HolderQuitController::quitHolder(const quaylet::Holder& holder) {
    if (busy()) {
        return;
    }
    forced_ = false;
    if (const std::optional<QuitCaller> caller = quitCaller(*platform_.processSignals)) {
        held_ = holdForQuit(*platform_.processSignals, *caller, holder);
    } else {
        held_ = HeldHolder{holder, nullptr, QuitRefusal::Ended};
    }
    if (!held_.process) {
        tell(holderText(quitRefusalTextKey(held_.refusal).c_str()));
        held_ = {};
        return;
    }
    ask(holderText("QUIT_CONFIRM"), actionTitle(strings_, holder),
        &HolderQuitController::requestPolitely, &HolderQuitController::decline);
}

void HolderQuitController::ask(const QString& text, const QString& acceptTitle, Step accepted,
                               Step declined) {
    auto* box = new QMessageBox(QMessageBox::Question, QStringLiteral("Quaylet"), text);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton* accept = box->addButton(acceptTitle, QMessageBox::AcceptRole);
    box->addButton(QMessageBox::Cancel);
    box->setDefaultButton(QMessageBox::Cancel);
    connect(box, &QMessageBox::finished, this, [this, box, accept, accepted, declined] {
        // A question closed because the process ended meanwhile has been answered already.
        if (question_ != box) {
            return;
        }
        question_.clear();
        (this->*(box->clickedButton() == accept ? accepted : declined))();
    });
    question_ = box;
    box->open(); // window-modal at most: the event loop goes on
}

void HolderQuitController::tell(const QString& text) {
    auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("Quaylet"), text);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void HolderQuitController::decline() {
    finish(false);
}

void HolderQuitController::requestPolitely() {
    if (!held_.process) {
        return;
    }
    const std::string busName = applicationBusName(held_.holder.desktopEntry);
    if (busName.empty()) {
        terminate();
        return;
    }
    askApplication(QString::fromStdString(busName));
}

void HolderQuitController::askApplication(const QString& busName) {
    // The name may belong to another instance or a launcher: the request must reach the very
    // process that holds the volume.
    QDBusMessage owner = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetConnectionUnixProcessID"));
    owner << busName;
    auto* asked = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(owner, kBusAnswerTimeoutMs), this);
    connect(asked, &QDBusPendingCallWatcher::finished, this, [this, asked, busName] {
        asked->deleteLater();
        const QDBusPendingReply<uint> reply = *asked;
        if (!held_.process) {
            return;
        }
        if (reply.isError() || reply.value() != static_cast<uint>(held_.process->pid())) {
            terminate();
            return;
        }
        QDBusMessage quit = QDBusMessage::createMethodCall(
            busName, QString::fromStdString(applicationObjectPath(busName.toStdString())),
            QStringLiteral("org.freedesktop.Application"), QStringLiteral("ActivateAction"));
        quit.setAutoStartService(false);
        quit << QStringLiteral("quit") << QVariantList() << QVariantMap();
        auto* quitting = new QDBusPendingCallWatcher(
            QDBusConnection::sessionBus().asyncCall(quit, kBusAnswerTimeoutMs), this);
        connect(quitting, &QDBusPendingCallWatcher::finished, this, [this, quitting] {
            quitting->deleteLater();
            if (!held_.process) {
                return;
            }
            if (quitting->isError()) {
                terminate(); // no quit action: the signal asks the same
            } else {
                startWaiting(waitBound_);
            }
        });
    });
}

void HolderQuitController::terminate() {
    if (held_.process->send(EndSignal::Terminate)) {
        startWaiting(waitBound_);
    } else if (held_.process->hasEnded()) {
        processEnded();
    } else {
        tell(holderText("QUIT_NOT_SENT"));
        finish(false);
    }
}

void HolderQuitController::startWaiting(std::chrono::milliseconds bound) {
    // The busy animation and the status item's text say that Quaylet waits.
    delegate_.setIconAppearance(VLKIconAppearanceEjecting);
    const QString waiting = holderText("QUIT_WAITING");
    delegate_.setUnplugMenuItemTitle(waiting);
    if (QSystemTrayIcon* item = delegate_.statusItem()) {
        item->setToolTip(QStringLiteral("Quaylet: %1").arg(waiting));
    }
    if (held_.process->hasEnded()) {
        processEnded();
        return;
    }
    if (!endNotifier_) {
        endNotifier_ = std::make_unique<QSocketNotifier>(held_.process->endDescriptor(),
                                                         QSocketNotifier::Read);
        connect(endNotifier_.get(), &QSocketNotifier::activated, this,
                &HolderQuitController::processEnded);
    }
    deadline_.start(bound);
}

void HolderQuitController::processEnded() {
    if (QMessageBox* box = question_) {
        question_.clear(); // cleared first: the closing box must not answer
        box->close();
    }
    finish(true);
}

void HolderQuitController::deadlinePassed() {
    if (forced_) {
        leaveRunning();
        return;
    }
    // The pidfd is still watched: if the process ends while the question is open, the
    // question goes and the unplug is started again.
    const QString notEnded = holderText("QUIT_NOT_ENDED");
    if (QSystemTrayIcon* item = delegate_.statusItem()) {
        item->setToolTip(QStringLiteral("Quaylet: %1").arg(notEnded));
    }
    ask(notEnded + QStringLiteral("\n\n") + holderText("FORCE_QUIT_CONFIRM"),
        localizedText(strings_, "FORCE_QUIT_BUTTON"), &HolderQuitController::forceQuit,
        &HolderQuitController::leaveRunning);
}

void HolderQuitController::forceQuit() {
    if (!held_.process) {
        return;
    }
    forced_ = true;
    if (held_.process->send(EndSignal::Kill)) {
        startWaiting(kKillWait);
    } else if (held_.process->hasEnded()) {
        processEnded();
    } else {
        leaveRunning();
    }
}

void HolderQuitController::leaveRunning() {
    const QString left = holderText("QUIT_LEFT_RUNNING");
    delegate_.setIconAppearance(VLKIconAppearanceUnsafe);
    if (QSystemTrayIcon* item = delegate_.statusItem()) {
        item->setToolTip(QStringLiteral("Quaylet: %1").arg(left));
    }
    finish(false);
}

void HolderQuitController::finish(bool ended) {
    deadline_.stop();
    if (endNotifier_) {
        // This may run in the notifier's own signal: it goes later, silenced before its
        // descriptor is closed.
        endNotifier_->setEnabled(false);
        endNotifier_.release()->deleteLater();
    }
    held_ = {};
    if (ended) {
        // The unplug command sets the icon from here on; while another command unmounts, the
        // retry is ignored and that command's outcome is the one shown.
        if (!delegate_.unplugInProgress()) {
            delegate_.setIconAppearance(VLKIconAppearanceNormal);
        }
        delegate_.unplug(retryEverything_);
    }
    emit finished(ended);
}

} // namespace quaylet
