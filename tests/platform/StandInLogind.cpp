#include "StandInLogind.h"

#include <QtDBus/QDBusMessage>
#include <QtDBus/QDBusUnixFileDescriptor>

#include <fcntl.h>
#include <unistd.h>

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
    if (lockWatch >= 0) close(lockWatch);
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

void StandInLogind::SetInhibitFails(bool fails)
{
    std::lock_guard<std::mutex> lock(mutex);
    inhibitFails = fails;
}

std::vector<StandInLogind::RebootCall> StandInLogind::RebootCalls() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return rebootCalls;
}

std::vector<StandInLogind::InhibitCall> StandInLogind::InhibitCalls() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return inhibitCalls;
}

int StandInLogind::LockWatch() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return lockWatch;
}

QString StandInLogind::introspect(const QString&) const
{
    return QStringLiteral(
        "<interface name=\"org.freedesktop.login1.Manager\">"
        "<method name=\"CanReboot\"><arg type=\"s\" direction=\"out\"/></method>"
        "<method name=\"Reboot\"><arg type=\"b\" direction=\"in\"/></method>"
        "<method name=\"Inhibit\"><arg type=\"s\" direction=\"in\"/>"
        "<arg type=\"s\" direction=\"in\"/><arg type=\"s\" direction=\"in\"/>"
        "<arg type=\"s\" direction=\"in\"/><arg type=\"h\" direction=\"out\"/></method>"
        "</interface>");
}

bool StandInLogind::handleMessage(const QDBusMessage& message, const QDBusConnection& connection)
{
    if (message.interface() != kManager) return false;
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
    if (message.member() == QLatin1String("Inhibit")) return ReplyToInhibit(message, connection);
    return false;
}

// Called with the mutex held.
bool StandInLogind::ReplyToInhibit(const QDBusMessage& message, const QDBusConnection& connection)
{
    const QList<QVariant> arguments = message.arguments();
    inhibitCalls.push_back({message.signature(), arguments.value(0).toString(), arguments.value(1).toString(),
                            arguments.value(2).toString(), arguments.value(3).toString()});
    int pipeEnds[2];
    if (inhibitFails || pipe2(pipeEnds, O_CLOEXEC) != 0)
        return connection.send(message.createErrorReply(QStringLiteral("org.freedesktop.login1.NotPermitted"),
                                                        QStringLiteral("Inhibit refused by the stand-in")));
    if (lockWatch >= 0) close(lockWatch);
    lockWatch = pipeEnds[0];
    // The reply carries a copy of the write end; this one goes, so that only the caller holds it.
    const bool sent = connection.send(message.createReply(QVariant::fromValue(QDBusUnixFileDescriptor(pipeEnds[1]))));
    close(pipeEnds[1]);
    return sent;
}

}  // namespace norvik_test
