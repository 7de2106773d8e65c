// The rest of the Linux seam: the platform identifier, the missing ASPI manager and messages.

#include <gtest/gtest.h>

#include "platform/linux/LinuxSystem.h"

namespace {

using platform::LinuxSystem;

TEST(LinuxSystemPlatform, OffersThePassThroughRoute)
{
    LinuxSystem system;
    uint32_t platformId = 0;
    ASSERT_TRUE(system.QueryPlatformId(platformId));
    EXPECT_EQ(platformId, 2u);
}

TEST(LinuxSystemAspi, NoManagerLoads)
{
    LinuxSystem system;
    const platform::AspiLibrary library = system.LoadAspiLibrary(platform::kAspiLibraryName);
    EXPECT_EQ(library, nullptr);
    EXPECT_EQ(system.FindAspiEntry(library, platform::kGetSupportInfoName), nullptr);
    EXPECT_EQ(system.FindAspiEntry(library, platform::kSendCommandName), nullptr);
    system.FreeAspiLibrary(library);
}

TEST(LinuxSystemMessage, GoesToStandardErrorAsCaptionAndText)
{
    LinuxSystem system;
    testing::internal::CaptureStderr();
    system.ShowMessage("LoadLibrary:\nWNASPI32.DLL not found.", "Error FS 002", platform::MessageIcon::Error);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error FS 002: LoadLibrary:\nWNASPI32.DLL not found.\n");
}

}  // namespace
