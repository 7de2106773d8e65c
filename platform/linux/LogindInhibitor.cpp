#include "platform/linux/LogindInhibitor.h"

#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusMessage>
#include <QtDBus/QDBusUnixFileDescriptor>

#include <unistd.h>

#include <atomic>
#include <utility>

namespace platform {

namespace {

const char* const kLogindService = "org.freedesktop.login1";
const char* const kLogindPath = "/org/freedesktop/login1";
const char* const kLogindManager = "org.freedesktop.login1.Manager";

// Shutdown covers power-off and reboot; sleep covers suspend and hibernation.
const char* const kWhat = "shutdown:sleep";
const char* const kWho = "Norvik";
// Block, not delay: a drive cut off mid-write may be left without working firmware.
const char* const kMode = "block";

// logind answers at once; the limit only keeps a hung bus from holding the program.
constexpr int kCallTimeoutMs = 10000;

QDBusMessage InhibitCall(const char* why)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(QString::fromLatin1(kLogindService), QString::fromLatin1(kLogindPath),
                                       QString::fromLatin1(kLogindManager), QStringLiteral("Inhibit"));
    call << QString::fromLatin1(kWhat) << QString::fromLatin1(kWho)
         << QString::fromUtf8(why != nullptr ? why : "") << QString::fromLatin1(kMode);
    return call;
}

// The descriptor of the lock in logind's reply, now owned by the caller; -1 for an error reply
// or an answer that carries no descriptor.
int TakeLockDescriptor(const QDBusMessage& reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1)
        return -1;
    const QVariant answer = reply.arguments().first();
    if (answer.metaType() != QMetaType::fromType<QDBusUnixFileDescriptor>())
        return -1;
    QDBusUnixFileDescriptor lock = answer.value<QDBusUnixFileDescriptor>();
    return lock.takeFileDescriptor();
}

// The call on the bus, with the connection opened for it and closed after it; the descriptor
// taken from the reply outlives the connection. A private bus gets a connection name of its
// own per call, so that a bus that went away is never reused.
int RequestLock(const std::string& busAddress, const char* why)
{
    if (busAddress.empty())
        return TakeLockDescriptor(QDBusConnection::systemBus().call(InhibitCall(why), QDBus::Block, kCallTimeoutMs));

    static std::atomic<unsigned> connectionNumber{0};
    const QString name = QStringLiteral("norvik-inhibitor-%1").arg(++connectionNumber);
    int descriptor = -1;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(QString::fromStdString(busAddress), name);
        if (bus.isConnected())
            descriptor = TakeLockDescriptor(bus.call(InhibitCall(why), QDBus::Block, kCallTimeoutMs));
    }
    QDBusConnection::disconnectFromBus(name);
    return descriptor;
}

}  // namespace

LogindInhibitor::LogindInhibitor(std::string busAddress) : busAddress(std::move(busAddress)) {}

LogindInhibitor::~LogindInhibitor()
{
    Release();
}

void LogindInhibitor::Inhibit(const char* why)
{
    if (lockDescriptor >= 0)
        return;
    lockDescriptor = RequestLock(busAddress, why);
}

void LogindInhibitor::Release()
{
    if (lockDescriptor < 0)
        return;
    close(lockDescriptor);
    lockDescriptor = -1;
}

}  // namespace platform
