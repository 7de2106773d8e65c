#include "sys/OSInfo.h"

namespace sys {

OSInfo::OSInfo(platform::System& system) : system(system)
{
    uint32_t platformId = 0;
    isNT = system.QueryPlatformId(platformId) && platformId == kPlatformIdNT;
}

RestartAnswer AskForRestart(const OSInfo& info, uint32_t flags)
{
    if (info.IsNT() && !info.system.EnableShutdownPrivilege()) return RestartAnswer::PrivilegeNotHeld;
    return info.system.RequestRestart(flags | kRestartForce) ? RestartAnswer::Accepted : RestartAnswer::Refused;
}

bool RestartSystem(const OSInfo& info, uint32_t flags) { return AskForRestart(info, flags) == RestartAnswer::Accepted; }

bool Reboot(const OSInfo& info) { return RestartSystem(info, kRestartReboot); }

}  // namespace sys
