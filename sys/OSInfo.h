#pragma once
// The operating-system family, and the system restart that depends on it.

#include <cstdint>

#include "platform/System.h"

namespace sys {

// Platform identifier of the family that offers the pass-through route (and the privilege step).
constexpr uint32_t kPlatformIdNT = 2;

// Restart flags handed to the system.
constexpr uint32_t kRestartReboot = 2;
constexpr uint32_t kRestartForce = 4;

// How a restart request ended: only Accepted means the system is going down.
enum class RestartAnswer : uint8_t {
    Accepted,
    PrivilegeNotHeld,  // the process may not restart the system: nothing was requested
    Refused,           // the request was made and the system refused it
};

class OSInfo {
public:
    // Asks the system once. When the version query fails the system does not count as the NT
    // family: nothing proves the pass-through route exists.
    explicit OSInfo(platform::System& system);

    bool IsNT() const { return isNT; }

    friend RestartAnswer AskForRestart(const OSInfo& info, uint32_t flags);

private:
    bool isNT = false;
    platform::System& system;
};

// Asks for an immediate restart with the given flags, the force flag always added. On the NT
// family the process's shutdown privilege is enabled first; without it nothing is requested.
RestartAnswer AskForRestart(const OSInfo& info, uint32_t flags);

// True only when the system accepted the request.
bool RestartSystem(const OSInfo& info, uint32_t flags);

// The program's one restart: reboot, forced (the system receives 6).
bool Reboot(const OSInfo& info);

}  // namespace sys
