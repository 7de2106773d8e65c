#include "platform/linux/LogindBus.h"

#include <QtDBus/QDBusConnection>

#include <atomic>

namespace platform {

QDBusMessage LogindManagerCall(const char* method)
{
    return QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.login1"),
                                          QStringLiteral("/org/freedesktop/login1"),
                                          QStringLiteral("org.freedesktop.login1.Manager"),
                                          QString::fromLatin1(method));
}

QDBusMessage CallLogind(const std::string& busAddress, const QDBusMessage& call, int timeoutMs)
{
    if (busAddress.empty()) return QDBusConnection::systemBus().call(call, QDBus::Block, timeoutMs);

    static std::atomic<unsigned> connectionNumber{0};
    const QString name = QStringLiteral("norvik-logind-%1").arg(++connectionNumber);
    QDBusMessage reply;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(QString::fromStdString(busAddress), name);
        if (bus.isConnected()) reply = bus.call(call, QDBus::Block, timeoutMs);
    }
    QDBusConnection::disconnectFromBus(name);
    return reply;
}

}  // namespace platform
