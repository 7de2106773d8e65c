#include "platform/linux/LogindRestart.h"

#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusMessage>

#include <atomic>
#include <utility>

namespace platform {

namespace {

const char* const kLogindService = "org.freedesktop.login1";
const char* const kLogindPath = "/org/freedesktop/login1";
const char* const kLogindManager = "org.freedesktop.login1.Manager";

// logind answers at once; the limit only keeps a hung bus from holding the program.
constexpr int kCallTimeoutMs = 10000;
// A reboot may wait for the person to authorise it in a polkit dialogue.
constexpr int kAuthorisedCallTimeoutMs = 120000;

// One call on a bus, with the connection opened for it and closed after it. A private bus
// gets a connection name of its own per call, so that a bus that went away is never reused.
QDBusMessage CallLogind(const std::string& busAddress, const QDBusMessage& call, int timeoutMs = kCallTimeoutMs)
{
    if (busAddress.empty())
        return QDBusConnection::systemBus().call(call, QDBus::Block, timeoutMs);

    static std::atomic<unsigned> connectionNumber{0};
    const QString name = QStringLiteral("norvik-logind-%1").arg(++connectionNumber);
    QDBusMessage reply;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(QString::fromStdString(busAddress), name);
        if (bus.isConnected())
            reply = bus.call(call, QDBus::Block, timeoutMs);
    }
    QDBusConnection::disconnectFromBus(name);
    return reply;
}

QDBusMessage ManagerCall(const char* method)
{
    return QDBusMessage::createMethodCall(QString::fromLatin1(kLogindService), QString::fromLatin1(kLogindPath),
                                          QString::fromLatin1(kLogindManager), QString::fromLatin1(method));
}

}  // namespace

LogindRestart::LogindRestart(std::string busAddress) : busAddress(std::move(busAddress)) {}

bool LogindRestart::CanReboot() const
{
    const QDBusMessage reply = CallLogind(busAddress, ManagerCall("CanReboot"));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1)
        return false;
    const QVariant answer = reply.arguments().first();
    if (answer.typeId() != QMetaType::QString) return false;
    // "challenge": the person may restart once polkit has asked them, which the reboot lets it do.
    return answer.toString() == QLatin1String("yes") || answer.toString() == QLatin1String("challenge");
}

// Interactive: a desktop user whom polkit would ask is asked, not refused. A reboot that is not
// authorised fails, and the program ends without one.
bool LogindRestart::Reboot() const
{
    QDBusMessage call = ManagerCall("Reboot");
    call.setInteractiveAuthorizationAllowed(true);
    call << true;
    return CallLogind(busAddress, call, kAuthorisedCallTimeoutMs).type() == QDBusMessage::ReplyMessage;
}

}  // namespace platform
