#include "platform/linux/LogindRestart.h"

#include <utility>

#include "platform/linux/LogindBus.h"

namespace platform {

namespace {

// A reboot may wait for the person to authorise it in a polkit dialogue.
constexpr int kAuthorisedCallTimeoutMs = 120000;

}  // namespace

LogindRestart::LogindRestart(std::string busAddress) : busAddress(std::move(busAddress)) {}

bool LogindRestart::CanReboot() const
{
    const QDBusMessage reply = CallLogind(busAddress, LogindManagerCall("CanReboot"));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) return false;
    const QVariant answer = reply.arguments().first();
    if (answer.typeId() != QMetaType::QString) return false;
    // "challenge": the person may restart once polkit has asked them, which the reboot lets it do.
    return answer.toString() == QLatin1String("yes") || answer.toString() == QLatin1String("challenge");
}

// Interactive: a desktop user whom polkit would ask is asked, not refused. A reboot that is not
// authorised fails, and the program ends without one.
bool LogindRestart::Reboot() const
{
    QDBusMessage call = LogindManagerCall("Reboot");
    call.setInteractiveAuthorizationAllowed(true);
    call << true;
    return CallLogind(busAddress, call, kAuthorisedCallTimeoutMs).type() == QDBusMessage::ReplyMessage;
}

}  // namespace platform
