// The system family and the restart, on the virtual system, which records restart requests
// instead of carrying them out.

#include <gtest/gtest.h>

#include <vector>

#include "sim/VirtualSystem.h"
#include "sys/OSInfo.h"

namespace {

using sim::VirtualSystem;
using sys::OSInfo;

// Counts the privilege steps, which the virtual system only answers.
class PrivilegeCountingSystem : public VirtualSystem {
public:
    bool EnableShutdownPrivilege() override
    {
        ++privilegeSteps;
        return VirtualSystem::EnableShutdownPrivilege();
    }
    int privilegeSteps = 0;
};

TEST(OSInfoFamily, PlatformTwoIsNT)
{
    VirtualSystem system;
    system.SetPlatformId(VirtualSystem::kPlatformNT);
    EXPECT_TRUE(OSInfo(system).IsNT());
}

TEST(OSInfoFamily, OtherPlatformsAreNotNT)
{
    VirtualSystem system;
    for (uint32_t id : {0u, 1u, 3u}) {
        system.SetPlatformId(id);
        EXPECT_FALSE(OSInfo(system).IsNT()) << "platform " << id;
    }
}

TEST(OSInfoFamily, FailedVersionQueryIsNotNT)
{
    VirtualSystem system;
    system.SetPlatformId(VirtualSystem::kPlatformNT);
    system.SetVersionQueryFails(true);
    EXPECT_FALSE(OSInfo(system).IsNT());
}

TEST(OSInfoFamily, AsksOnceWhenMade)
{
    VirtualSystem system;
    system.SetPlatformId(VirtualSystem::kPlatformNT);
    const OSInfo info(system);
    system.SetPlatformId(VirtualSystem::kPlatformWindows);
    EXPECT_TRUE(info.IsNT());
}

TEST(OSInfoReboot, NTWithThePrivilegeRequestsRebootAndForce)
{
    PrivilegeCountingSystem system;
    system.SetShutdownPrivilege(true);
    const OSInfo info(system);
    EXPECT_TRUE(sys::Reboot(info));
    EXPECT_EQ(system.privilegeSteps, 1);
    EXPECT_EQ(system.restartRequests(), std::vector<uint32_t>{6});
}

TEST(OSInfoReboot, NTWithoutThePrivilegeRequestsNothing)
{
    PrivilegeCountingSystem system;
    system.SetShutdownPrivilege(false);
    const OSInfo info(system);
    EXPECT_FALSE(sys::Reboot(info));
    EXPECT_EQ(system.privilegeSteps, 1);
    EXPECT_TRUE(system.restartRequests().empty());
}

TEST(OSInfoReboot, OutsideNTRequestsWithoutThePrivilegeStep)
{
    PrivilegeCountingSystem system;
    system.SetPlatformId(VirtualSystem::kPlatformWindows);
    system.SetShutdownPrivilege(false);
    const OSInfo info(system);
    EXPECT_TRUE(sys::Reboot(info));
    EXPECT_EQ(system.privilegeSteps, 0);
    EXPECT_EQ(system.restartRequests(), std::vector<uint32_t>{6});
}

TEST(OSInfoReboot, RefusedRequestIsFalse)
{
    VirtualSystem system;
    system.SetRestartAccepted(false);
    const OSInfo info(system);
    EXPECT_FALSE(sys::Reboot(info));
    EXPECT_EQ(system.restartRequests(), std::vector<uint32_t>{6});
}

TEST(OSInfoReboot, RefusedRequestOutsideNTIsFalse)
{
    VirtualSystem system;
    system.SetPlatformId(VirtualSystem::kPlatformWindows);
    system.SetRestartAccepted(false);
    EXPECT_FALSE(sys::Reboot(OSInfo(system)));
    EXPECT_EQ(system.restartRequests(), std::vector<uint32_t>{6});
}

TEST(OSInfoReboot, FailedVersionQueryRequestsWithoutThePrivilegeStep)
{
    PrivilegeCountingSystem system;
    system.SetVersionQueryFails(true);
    const OSInfo info(system);
    EXPECT_TRUE(sys::Reboot(info));
    EXPECT_EQ(system.privilegeSteps, 0);
    EXPECT_EQ(system.restartRequests(), std::vector<uint32_t>{6});
}

TEST(OSInfoRestart, ForceIsAlwaysAdded)
{
    VirtualSystem system;
    const OSInfo info(system);
    EXPECT_TRUE(sys::RestartSystem(info, 0));
    EXPECT_TRUE(sys::RestartSystem(info, sys::kRestartReboot));
    EXPECT_TRUE(sys::RestartSystem(info, sys::kRestartReboot | sys::kRestartForce));
    EXPECT_EQ(system.restartRequests(), (std::vector<uint32_t>{4, 6, 6}));
}

}  // namespace
