// Claiming the session's name for the tray, and handing a launch's request to the holder.
#include "app/session_bus_service.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>

namespace quaylet {

namespace {

const QString kServiceName = QStringLiteral("com.pemrix.Quaylet");
const QString kObjectPath = QStringLiteral("/com/pemrix/Quaylet");
const QString kInterface = QStringLiteral("com.pemrix.Quaylet");
/// How long a second launch waits for the running tray to answer, in milliseconds.
constexpr int kForwardTimeoutMs = 5000;

} // namespace

SessionBusService::SessionBusService(QDBusConnection connection, QObject* parent)
    : QObject(parent), connection_(std::move(connection)) {}

SessionBusService::Claim SessionBusService::claim() {
    if (!connection_.isConnected() || !connection_.interface()) {
        return Claim::NoBus;
    }
    // The object is there before the name, so that a caller who sees the name finds it.
    if (!connection_.registerObject(kObjectPath, this, QDBusConnection::ExportAllSlots)) {
        return Claim::NoBus;
    }
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        connection_.interface()->registerService(kServiceName,
                                                 QDBusConnectionInterface::DontQueueService,
                                                 QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        return Claim::Claimed;
    }
    connection_.unregisterObject(kObjectPath);
    return reply.isValid() ? Claim::Taken : Claim::NoBus;
}

bool SessionBusService::forward(QDBusConnection connection, LaunchRequest request, QString& error) {
    QString method = QStringLiteral("ShowPreferences");
    if (request == LaunchRequest::UnplugDock) {
        method = QStringLiteral("UnplugDock");
    } else if (request == LaunchRequest::UnplugEverything) {
        method = QStringLiteral("UnplugEverything");
    }
    const QDBusMessage call =
        QDBusMessage::createMethodCall(kServiceName, kObjectPath, kInterface, method);
    const QDBusMessage reply = connection.call(call, QDBus::Block, kForwardTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage) {
        return true;
    }
    error = reply.errorMessage();
    return false;
}

} // namespace quaylet
