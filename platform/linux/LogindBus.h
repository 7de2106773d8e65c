#pragma once
// Calls on systemd-logind's manager over D-Bus, shared by the restart and the inhibitor lock.
// Included only by their .cpp files, so that the seam's users do not see Qt.

#include <QtDBus/QDBusMessage>

#include <string>

namespace platform {

// logind answers at once; the limit only keeps a hung bus from holding the program.
constexpr int kLogindCallTimeoutMs = 10000;

// A call of the manager's method, arguments still to be added.
QDBusMessage LogindManagerCall(const char* method);

// One call on a bus (the system bus when busAddress is empty), with the connection opened for it
// and closed after it. A private bus gets a connection name of its own per call, so that a bus
// that went away is never reused. The reply, or an invalid message when there was no bus.
QDBusMessage CallLogind(const std::string& busAddress, const QDBusMessage& call, int timeoutMs = kLogindCallTimeoutMs);

}  // namespace platform
