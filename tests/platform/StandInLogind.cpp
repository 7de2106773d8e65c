#include "StandInLogind.h"

#include <QtDBus/QDBusMessage>

namespace norvik_test {

namespace {

const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");

}  // namespace

StandInLogind::StandInLogind(const std::string& busAddress)
    : connectionName(QStringLiteral("norvik-stand-in-logind")),
      bus(QDBusConnection::connectToBus(QString::fromStdString(busAddress), connectionName))
{
    serviceThread.start();
    moveToThread(&serviceThread);
    serving = bus.isConnected() && bus.registerVirtualObject(kPath, this) && bus.registerService(kService);
}

StandInLogind::~StandInLogind()
{
    bus.unregisterService(kService);
    bus.unregisterObject(kPath);
    QDBusConnection::disconnectFromBus(connectionName);
    serviceThread.quit();
    serviceThread.wait();
}

void StandInLogind::SetCanRebootAnswer(const QVariant& answer)
{
    std::lock_guard<std::mutex> lock(mutex);
    canRebootAnswer = answer;
}

void StandInLogind::SetRebootFails(bool fails)
{
    std::lock_guard<std::mutex> lock(mutex);
    rebootFails = fails;
}

int StandInLogind::CanRebootCalls() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return canRebootCalls;
}

std::vector<StandInLogind::RebootCall> StandInLogind::RebootCalls() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return rebootCalls;
}

QString StandInLogind::introspect(const QString&) const
{
    return QStringLiteral("<interface name=\"org.freedesktop.login1.Manager\">"
                          "<method name=\"CanReboot\"><arg type=\"s\" direction=\"out\"/></method>"
                          "<method name=\"Reboot\"><arg type=\"b\" direction=\"in\"/></method>"
                          "</interface>");
}

bool StandInLogind::handleMessage(const QDBusMessage& message, const QDBusConnection& connection)
{
    if (message.interface() != kManager)
        return false;
    std::lock_guard<std::mutex> lock(mutex);
    if (message.member() == QLatin1String("CanReboot")) {
        ++canRebootCalls;
        return connection.send(message.createReply(canRebootAnswer));
    }
    if (message.member() == QLatin1String("Reboot")) {
        rebootCalls.push_back({message.signature(), message.arguments().value(0).toBool()});
        if (rebootFails)
            return connection.send(message.createErrorReply(QStringLiteral("org.freedesktop.login1.NotPermitted"),
                                                            QStringLiteral("Reboot refused by the stand-in")));
        return connection.send(message.createReply());
    }
    return false;
}

}  // namespace norvik_test
