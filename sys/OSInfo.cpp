#include "sys/OSInfo.h"

namespace sys {

OSInfo::OSInfo(platform::System& system) : system(system)
{
    uint32_t platformId = 0;
    isNT = system.QueryPlatformId(platformId) && platformId == kPlatformIdNT;
}

bool RestartSystem(const OSInfo& info, uint32_t flags)
{
    if (info.IsNT() && !info.system.EnableShutdownPrivilege()) return false;
    return info.system.RequestRestart(flags | kRestartForce);
}

bool Reboot(const OSInfo& info) { return RestartSystem(info, kRestartReboot); }

}  // namespace sys
