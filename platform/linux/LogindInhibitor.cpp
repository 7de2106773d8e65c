#include "platform/linux/LogindInhibitor.h"

#include <QtDBus/QDBusUnixFileDescriptor>

#include <unistd.h>

#include <utility>

#include "platform/linux/LogindBus.h"

namespace platform {

namespace {

// Shutdown covers power-off and reboot; sleep covers suspend and hibernation. logind's default
// LidSwitchIgnoreInhibited=yes (and the same for the power, suspend and hibernate keys) lets a
// closed lid or a key suspend or power off the machine despite a sleep or shutdown lock; the
// handle-* locks are always honoured, so that logind leaves the lid and those keys alone.
const char* const kWhat = "shutdown:sleep:handle-power-key:handle-suspend-key:handle-hibernate-key:handle-lid-switch";
const char* const kWho = "Norvik";
// Block, not delay: a drive cut off mid-write may be left without working firmware.
const char* const kMode = "block";

QDBusMessage InhibitCall(const char* why)
{
    QDBusMessage call = LogindManagerCall("Inhibit");
    call << QString::fromLatin1(kWhat) << QString::fromLatin1(kWho) << QString::fromUtf8(why != nullptr ? why : "")
         << QString::fromLatin1(kMode);
    return call;
}

// The descriptor of the lock in logind's reply, now owned by the caller; -1 for an error reply
// or an answer that carries no descriptor.
int TakeLockDescriptor(const QDBusMessage& reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) return -1;
    const QVariant answer = reply.arguments().first();
    if (answer.metaType() != QMetaType::fromType<QDBusUnixFileDescriptor>()) return -1;
    QDBusUnixFileDescriptor lock = answer.value<QDBusUnixFileDescriptor>();
    return lock.takeFileDescriptor();
}

}  // namespace

LogindInhibitor::LogindInhibitor(std::string busAddress) : busAddress(std::move(busAddress)) {}

LogindInhibitor::~LogindInhibitor() { Release(); }

void LogindInhibitor::Inhibit(const char* why)
{
    if (lockDescriptor >= 0) return;
    // The descriptor taken from the reply outlives the call's connection.
    lockDescriptor = TakeLockDescriptor(CallLogind(busAddress, InhibitCall(why)));
}

void LogindInhibitor::Release()
{
    if (lockDescriptor < 0) return;
    close(lockDescriptor);
    lockDescriptor = -1;
}

}  // namespace platform
