// The Windows seam against the system it runs on (Wine in the test command): what the calls
// really answer. Order is judged, never absolute times; no drive is needed.

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "platform/win32/Win32System.h"

namespace {

using namespace platform;

bool Listed(const DriveRootList& list, const char* root)
{
    for (int i = 0; i < list.count; ++i) {
        if (std::strcmp(list.roots[i], root) == 0) return true;
    }
    return false;
}

// A drive letter that the system does not offer, as a root.
void UnusedRoot(const DriveRootList& list, char (&root)[4])
{
    for (char letter = 'Y'; letter >= 'D'; --letter) {
        std::snprintf(root, sizeof root, "%c:\\", letter);
        if (!Listed(list, root)) return;
    }
    root[0] = '\0';
}

TEST(Win32System, IsOfTheNtFamily)
{
    Win32System system;
    uint32_t platformId = 0;
    ASSERT_TRUE(system.QueryPlatformId(platformId));
    EXPECT_EQ(platformId, 2u);
}

TEST(Win32System, CounterHasAFrequencyAndRuns)
{
    Win32System system;
    int64_t frequency = 0;
    ASSERT_TRUE(system.QueryCounterFrequency(frequency));
    EXPECT_GT(frequency, 0);
    const int64_t before = system.QueryCounter();
    system.Sleep(2);
    const int64_t after = system.QueryCounter();
    EXPECT_GT(before, 0);
    EXPECT_GT(after, before);
}

// Wine runs a program with a token that holds the shutdown privilege, as an administrator's
// does on Windows: enabling it succeeds. Nothing is asked of the system beyond the privilege.
TEST(Win32System, ShutdownPrivilegeIsEnabled)
{
    Win32System system;
    EXPECT_TRUE(system.EnableShutdownPrivilege());
}

TEST(Win32System, ListsTheSystemDriveAndTheRootOfTheHostButNoOpticalDriveAmongThem)
{
    Win32System system;
    DriveRootList list{};
    system.ListDriveRoots(list);
    EXPECT_TRUE(Listed(list, "C:\\"));
    EXPECT_TRUE(Listed(list, "Z:\\"));
    EXPECT_FALSE(system.IsOpticalDrive("C:\\"));
    EXPECT_FALSE(system.IsOpticalDrive("Z:\\"));
}

TEST(Win32System, DrivesThatAreNotThereOrNotOpticalAreNotOpened)
{
    Win32System system;
    DriveRootList list{};
    system.ListDriveRoots(list);
    char missing[4];
    UnusedRoot(list, missing);
    ASSERT_NE(missing[0], '\0');

    for (const char* root : {static_cast<const char*>(missing), "C:\\", "Z:\\", "", "/dev/sr0"}) {
        EXPECT_EQ(system.OpenDrive(root), kInvalidDriveHandle) << root;
        char refusal[kRefusalSize] = "left over";
        EXPECT_EQ(system.OpenDriveExclusive(root, refusal), kInvalidDriveHandle) << root;
        EXPECT_NE(std::strstr(refusal, "is not an optical drive"), nullptr) << refusal;
    }
    EXPECT_EQ(system.OpenDrive(nullptr), kInvalidDriveHandle);
    // Nothing was refused for a lack of rights.
    EXPECT_EQ(system.PermissionAdvice(), nullptr);
}

TEST(Win32System, NoCommandOrQueryReachesAnUnopenedDrive)
{
    Win32System system;
    uint8_t data[96];
    PassThroughRequest request{};
    request.direction = DataDirection::In;
    request.data = data;
    request.length = sizeof data;
    request.timeoutMs = 1000;
    std::memset(request.sense, 0x55, sizeof request.sense);
    request.transferred = 77;
    EXPECT_FALSE(system.SendPassThrough(kInvalidDriveHandle, request));
    EXPECT_EQ(request.transferred, 0u);
    EXPECT_EQ(request.sense[2], 0);

    ScsiAddress address{1, 2, 3, 4};
    EXPECT_EQ(system.QueryScsiAddress(kInvalidDriveHandle, address), AddressQuery::QueryFailed);
    EXPECT_EQ(address.host, -1);
    uint8_t descriptor[kStorageDescriptorSize];
    EXPECT_FALSE(system.QueryStorageDescriptor(kInvalidDriveHandle, descriptor));
}

// Events ----------------------------------------------------------------------------------------

class Win32Event : public ::testing::Test {
protected:
    void SetUp() override
    {
        event = system.CreateEvent();
        ASSERT_NE(event, nullptr);
    }
    void TearDown() override { system.CloseEvent(event); }

    Win32System system;
    EventHandle event = nullptr;
};

TEST_F(Win32Event, WaitOnAnUnsignalledEventRunsOut) { EXPECT_FALSE(system.WaitForEvent(event, 20)); }

TEST_F(Win32Event, SignalFromAnotherThreadEndsTheWaitAndTheEventStaysSignalled)
{
    std::thread completer([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        Win32System::SignalEvent(event);
    });
    // The limit is far beyond the signal: only a signal that is never seen lets it run out.
    const bool signalled = system.WaitForEvent(event, 60000);
    completer.join();
    EXPECT_TRUE(signalled);
    // Manual reset: a second wait, as the transport makes after the manager's answer, still sees it.
    EXPECT_TRUE(system.WaitForEvent(event, 0));
}

TEST_F(Win32Event, EventsAreIndependent)
{
    const EventHandle other = system.CreateEvent();
    ASSERT_NE(other, nullptr);
    Win32System::SignalEvent(other);
    EXPECT_FALSE(system.WaitForEvent(event, 0));
    EXPECT_TRUE(system.WaitForEvent(other, 0));
    system.CloseEvent(other);
    EXPECT_FALSE(system.WaitForEvent(nullptr, 0));
}

// The ASPI manager -------------------------------------------------------------------------------

TEST(Win32Aspi, MissingLibraryLoadsNothing)
{
    Win32System system;
    EXPECT_EQ(system.LoadAspiLibrary("NORVIKNOSUCHASPI"), nullptr);
    EXPECT_EQ(system.LoadAspiLibrary(nullptr), nullptr);
    EXPECT_EQ(system.FindAspiEntry(nullptr, kGetSupportInfoName), nullptr);
}

// Wine's manager answers its support query with SS_NO_ADAPTERS (E8h) and no adapter while the
// machine has no SCSI device, SS_COMP with the number of adapters otherwise. Its SendASPI32Command
// refuses every request with SS_INVALID_SRB (E0h) without writing the request's status.
TEST(Win32Aspi, ManagerIsReachedThroughTheForwardingEntries)
{
    Win32System system;
    const AspiLibrary library = system.LoadAspiLibrary(kAspiLibraryName);
    ASSERT_NE(library, nullptr);
    const auto supportInfo = reinterpret_cast<GetAspiSupportInfoEntry>(
        system.FindAspiEntry(library, kGetSupportInfoName));
    const auto send = reinterpret_cast<SendAspiCommandEntry>(system.FindAspiEntry(library, kSendCommandName));
    ASSERT_NE(supportInfo, nullptr);
    ASSERT_NE(send, nullptr);
    EXPECT_EQ(system.FindAspiEntry(library, "GetASPI32DLLVersion"), nullptr);

    const uint32_t support = supportInfo(library);
    const uint8_t status = static_cast<uint8_t>(support >> 8);
    const uint8_t adapters = static_cast<uint8_t>(support);
    constexpr uint8_t kNoAdapters = 0xE8;
    EXPECT_TRUE((status == SS_COMP && adapters > 0) || (status == kNoAdapters && adapters == 0)) << std::hex << support;
    EXPECT_EQ(support >> 16, 0u);

    // The request reaches the manager, and its status is never left pending by a refusal.
    SRB_HAInquiry inquiry{};
    inquiry.SRB_Cmd = SC_HA_INQUIRY;
    const uint32_t answer = send(library, &inquiry);
    EXPECT_NE(inquiry.SRB_Status, SS_PENDING);
    EXPECT_EQ(inquiry.SRB_Status, static_cast<uint8_t>(answer));
    system.FreeAspiLibrary(library);
}

TEST(Win32Aspi, EachLoadHoldsTheManagerUntilItIsFreed)
{
    Win32System system;
    const AspiLibrary first = system.LoadAspiLibrary(kAspiLibraryName);
    const AspiLibrary second = system.LoadAspiLibrary(kAspiLibraryName);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    system.FreeAspiLibrary(first);
    const auto supportInfo = reinterpret_cast<GetAspiSupportInfoEntry>(
        system.FindAspiEntry(second, kGetSupportInfoName));
    ASSERT_NE(supportInfo, nullptr);
    EXPECT_NE(supportInfo(second) >> 8, 0u);
    system.FreeAspiLibrary(second);
    // Freed: the record gives no entry any more, and freeing it again does nothing.
    EXPECT_EQ(system.FindAspiEntry(second, kGetSupportInfoName), nullptr);
    system.FreeAspiLibrary(second);
}

}  // namespace
