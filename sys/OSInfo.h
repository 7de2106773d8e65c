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

class OSInfo {
public:
    // Asks the system once. When the version query fails the system does not count as the NT
    // family: nothing proves the pass-through route exists.
    explicit OSInfo(platform::System& system);

    bool IsNT() const { return isNT; }

    friend bool RestartSystem(const OSInfo& info, uint32_t flags);

private:
    bool isNT = false;
    platform::System& system;
};

// Asks for an immediate restart with the given flags, the force flag always added. On the NT
// family the process's shutdown privilege is enabled first; without it nothing is requested.
// True only when the system accepted the request.
bool RestartSystem(const OSInfo& info, uint32_t flags);

// The program's one restart: reboot, forced (the system receives 6).
bool Reboot(const OSInfo& info);

}  // namespace sys
