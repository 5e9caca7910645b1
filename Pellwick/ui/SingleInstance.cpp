#include "ui/SingleInstance.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>

namespace {
// A first instance that does not answer within this time is hung; we still do not start a
// second tray item beside it.
constexpr int callTimeoutMilliseconds = 5000;
} // namespace

SingleInstance::SingleInstance(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)) {
}

bool SingleInstance::claim() {
    if (!bus_.isConnected() || !bus_.interface())
        return true;
    if (registerName())
        return true;
    const auto call = QDBusMessage::createMethodCall(serviceName, objectPath, interfaceName,
                                                     QStringLiteral("OpenPanel"));
    // Waiting with a local event loop lets a first instance in this same process answer too.
    const QDBusMessage answer = bus_.call(call, QDBus::BlockWithGui, callTimeoutMilliseconds);
    // No answer: the owner was quitting and may be gone now, leaving the name to this launch.
    return answer.type() == QDBusMessage::ErrorMessage && registerName();
}

bool SingleInstance::registerName() {
    // The method is there before the name, so a launch that sees the name can call it.
    bus_.registerObject(objectPath, this, QDBusConnection::ExportScriptableSlots);
    const auto reply =
        bus_.interface()->registerService(serviceName, QDBusConnectionInterface::DontQueueService,
                                          QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() == QDBusConnectionInterface::ServiceRegistered)
        return true;
    bus_.unregisterObject(objectPath);
    return false;
}

void SingleInstance::release() {
    if (!bus_.isConnected() || !bus_.interface())
        return;
    bus_.interface()->unregisterService(serviceName);
    bus_.unregisterObject(objectPath);
}

void SingleInstance::OpenPanel() {
    emit openPanelRequested();
}
