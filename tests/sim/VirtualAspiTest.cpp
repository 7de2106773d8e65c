// The ASPI manager of the virtual system: loading, support information, the scan requests and
// command execution with and without completion events.

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>

#include "AspiHost.h"
#include "sim/VirtualSystem.h"

namespace {

using namespace platform;
using sim::AspiPresence;
using sim::AspiSettings;
using sim::VirtualSystem;
using simtest::ExecRequest;
using simtest::Manager;

AspiSettings Working(bool completeLater = false) { return simtest::WorkingManager(completeLater); }

// --- Loading ---------------------------------------------------------------------------------

TEST(VirtualAspiLoading, AbsentManagerCannotBeLoaded)
{
    VirtualSystem system;
    EXPECT_EQ(system.LoadAspiLibrary("WNASPI32"), nullptr);
    system.SetAspiManager(Working());
    EXPECT_EQ(system.LoadAspiLibrary("OTHER"), nullptr);
    EXPECT_EQ(system.LoadAspiLibrary(nullptr), nullptr);
    EXPECT_EQ(system.loadedAspiCount(), 0);
}

TEST(VirtualAspiLoading, MissingEntryPoints)
{
    VirtualSystem system;
    AspiSettings settings = Working();
    settings.presence = AspiPresence::MissingSupportInfo;
    system.SetAspiManager(settings);
    AspiLibrary library = system.LoadAspiLibrary("WNASPI32");
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(system.FindAspiEntry(library, kGetSupportInfoName), nullptr);
    EXPECT_NE(system.FindAspiEntry(library, kSendCommandName), nullptr);
    system.FreeAspiLibrary(library);

    settings.presence = AspiPresence::MissingSendCommand;
    system.SetAspiManager(settings);
    library = system.LoadAspiLibrary("wnaspi32.dll");
    ASSERT_NE(library, nullptr);
    EXPECT_NE(system.FindAspiEntry(library, kGetSupportInfoName), nullptr);
    EXPECT_EQ(system.FindAspiEntry(library, kSendCommandName), nullptr);
    EXPECT_EQ(system.FindAspiEntry(library, "Other"), nullptr);
    system.FreeAspiLibrary(library);
    EXPECT_EQ(system.loadedAspiCount(), 0);
}

TEST(VirtualAspiLoading, SupportInfoCarriesStatusAndAdapterCount)
{
    VirtualSystem system;
    std::string reason;
    system.AddDrive("host=0,target=1", reason);
    system.AddDrive("host=2,target=0", reason);
    system.AddDrive("address=none", reason);
    system.SetAspiManager(Working());
    {
        Manager manager(system);
        EXPECT_EQ(manager.supportInfo(manager.library), 0x0103u);
    }
    AspiSettings settings = Working();
    settings.supportStatus = SS_NO_ASPI;
    system.SetAspiManager(settings);
    Manager manager(system);
    EXPECT_EQ(manager.supportInfo(manager.library) >> 8, 0xE3u);
}

TEST(VirtualAspiLoading, CallsAfterTheLibraryWasFreedAreCounted)
{
    VirtualSystem system;
    system.SetAspiManager(Working());
    AspiLibrary library = system.LoadAspiLibrary("WNASPI32");
    auto supportInfo = reinterpret_cast<GetAspiSupportInfoEntry>(system.FindAspiEntry(library, kGetSupportInfoName));
    system.FreeAspiLibrary(library);
    EXPECT_EQ(supportInfo(library) >> 8, SS_NO_ASPI);
    EXPECT_EQ(system.aspiCallsWhileUnloaded(), 1u);
}

// --- Scan requests ---------------------------------------------------------------------------

TEST(VirtualAspiScan, HostAdapterInquiryRescanAndDeviceTypes)
{
    VirtualSystem system;
    std::string reason;
    system.AddDrive("host=1,target=3,lun=0", reason);
    system.SetAspiManager(Working());
    Manager manager(system);

    SRB_HAInquiry inquiry{};
    inquiry.SRB_Cmd = SC_HA_INQUIRY;
    EXPECT_EQ(manager.Send(&inquiry), SS_COMP);
    EXPECT_EQ(inquiry.SRB_Status, SS_COMP);
    EXPECT_EQ(inquiry.HA_Count, 2);
    inquiry.SRB_HaId = 2;
    manager.Send(&inquiry);
    EXPECT_NE(inquiry.SRB_Status, SS_COMP);

    SRB_RescanPort rescan{};
    rescan.SRB_Cmd = SC_RESCAN_SCSI_BUS;
    rescan.SRB_HaId = 1;
    manager.Send(&rescan);
    EXPECT_EQ(rescan.SRB_Status, SS_COMP);

    int found = 0;
    for (uint8_t adapter = 0; adapter < 2; ++adapter) {
        for (uint8_t target = 0; target < 16; ++target) {
            for (uint8_t lun = 0; lun < 16; ++lun) {
                SRB_GDEVBlock type{};
                type.SRB_Cmd = SC_GET_DEV_TYPE;
                type.SRB_HaId = adapter;
                type.SRB_Target = target;
                type.SRB_Lun = lun;
                manager.Send(&type);
                if (type.SRB_Status == SS_COMP && type.SRB_DeviceType == DTYPE_CDROM) {
                    ++found;
                    EXPECT_EQ(adapter, 1);
                    EXPECT_EQ(target, 3);
                    EXPECT_EQ(lun, 0);
                }
            }
        }
    }
    EXPECT_EQ(found, 1);
}

TEST(VirtualAspiScan, FailingAdapterInquiry)
{
    VirtualSystem system;
    std::string reason;
    system.AddDrive("host=1", reason);
    AspiSettings settings = Working();
    settings.failingAdapter = 1;
    system.SetAspiManager(settings);
    Manager manager(system);
    SRB_HAInquiry inquiry{};
    inquiry.SRB_Cmd = SC_HA_INQUIRY;
    manager.Send(&inquiry);
    EXPECT_EQ(inquiry.SRB_Status, SS_COMP);
    inquiry.SRB_HaId = 1;
    manager.Send(&inquiry);
    EXPECT_NE(inquiry.SRB_Status, SS_COMP);
}

TEST(VirtualAspiScan, DisappearedDriveIsNoLongerACdRom)
{
    VirtualSystem system;
    sim::VirtualDrive* drive = system.AddDrive();
    system.SetAspiManager(Working());
    Manager manager(system);
    drive->Disappear();
    SRB_GDEVBlock type{};
    type.SRB_Cmd = SC_GET_DEV_TYPE;
    manager.Send(&type);
    EXPECT_NE(type.SRB_Status, SS_COMP);
}

// --- Execute ---------------------------------------------------------------------------------

TEST(VirtualAspiExecute, CompletesAtOnceWithData)
{
    VirtualSystem system;
    system.AddDrive();
    system.SetAspiManager(Working());
    Manager manager(system);
    uint8_t data[96] = {};
    SRB_ExecSCSICmd request = ExecRequest(0, 0, {0x12, 0, 0, 0, 96}, SRB_DIR_IN, data, 96);
    EXPECT_EQ(manager.Send(&request), SS_COMP);
    EXPECT_EQ(request.SRB_Status, SS_COMP);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data + 16), 16), "DVDRW KRX-407T  ");
}

TEST(VirtualAspiExecute, SenseGoesIntoTheSenseArea)
{
    VirtualSystem system;
    sim::VirtualDrive* drive = system.AddDrive();
    system.SetAspiManager(Working());
    Manager manager(system);
    SRB_ExecSCSICmd request = ExecRequest(0, 0, {0x00}, 0, nullptr, 0);
    manager.Send(&request);
    EXPECT_EQ(request.SRB_Status, SS_ERR);
    EXPECT_EQ(request.SRB_TargStat, 0x02);
    EXPECT_EQ(request.SenseArea[2] & 0x0F, 0x2);
    EXPECT_EQ(request.SenseArea[12], 0x3A);
    EXPECT_EQ(request.SenseArea[13], 0x01);
    EXPECT_EQ(request.SenseArea[14], 0);  // only the 14 bytes asked for
    EXPECT_EQ(drive->trace().back(), "000000000000000000000000 none 0 sense 2/3A/01");
}

TEST(VirtualAspiExecute, FailedRequestHasNoSense)
{
    VirtualSystem system;
    std::string reason;
    system.AddDrive("fault=#1:fail", reason);
    system.SetAspiManager(Working());
    Manager manager(system);
    SRB_ExecSCSICmd request = ExecRequest(0, 0, {0x00}, 0, nullptr, 0);
    manager.Send(&request);
    EXPECT_EQ(request.SRB_Status, SS_ERR);
    EXPECT_EQ(request.SenseArea[2], 0);
    EXPECT_EQ(request.SenseArea[12], 0);

    SRB_ExecSCSICmd nobody = ExecRequest(0, 5, {0x00}, 0, nullptr, 0);
    manager.Send(&nobody);
    EXPECT_NE(nobody.SRB_Status, SS_COMP);
}

// The request is pending when SendASPI32Command returns; the modelled time passes in the wait.
TEST(VirtualAspiExecute, PendingCompletionEndsTheWaitAtItsModelledTime)
{
    VirtualSystem system;
    std::string reason;
    system.AddDrive("disc=1,fault=00#1:slow:5", reason);
    system.SetAspiManager(Working(true));
    Manager manager(system);
    EventHandle event = system.CreateEvent();
    ASSERT_NE(event, nullptr);

    SRB_ExecSCSICmd request = simtest::NotifyingTestUnitReady(event);
    const int64_t before = system.QueryCounter();
    EXPECT_EQ(manager.Send(&request), SS_PENDING);
    EXPECT_EQ(request.SRB_Status, SS_PENDING);
    EXPECT_TRUE(system.WaitForEvent(event, 108000));
    const int64_t after = system.QueryCounter();
    EXPECT_EQ(request.SRB_Status, SS_COMP);
    EXPECT_EQ(after - before, 5'000'000'000 + VirtualSystem::kCounterStepTicks);
    EXPECT_TRUE(system.WaitForEvent(event, 108000));  // manual reset: stays signalled
    EXPECT_EQ(system.QueryCounter() - after, VirtualSystem::kCounterStepTicks);
    system.CloseEvent(event);
    EXPECT_EQ(system.openEventCount(), 0);
}

TEST(VirtualAspiExecute, PendingCompletionInRealTimeComesAfterTheModelledTime)
{
    VirtualSystem system(sim::ClockMode::Real);
    std::string reason;
    system.AddDrive("fault=00#1:slow:0.05", reason);
    system.SetAspiManager(Working(true));
    Manager manager(system);
    EventHandle event = system.CreateEvent();
    SRB_ExecSCSICmd request = ExecRequest(0, 0, {0x00}, SRB_EVENT_NOTIFY, nullptr, 0);
    request.SRB_PostProc = event;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(manager.Send(&request), SS_PENDING);
    EXPECT_FALSE(system.WaitForEvent(event, 1));  // not yet
    EXPECT_TRUE(system.WaitForEvent(event, 5000));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
    EXPECT_EQ(request.SRB_Status, SS_ERR);  // no disc: sense 2/3A/01
    EXPECT_EQ(request.SenseArea[12], 0x3A);
    system.CloseEvent(event);
}

// In virtual time the completion comes with the sender's own calls: a poll that reads the
// counter sees it.
TEST(VirtualAspiExecute, WithoutAnEventTheStatusCanBePolled)
{
    VirtualSystem system;
    std::string reason;
    system.AddDrive("disc=1,fault=00#1:slow:0.5", reason);
    system.SetAspiManager(Working(true));
    system.SetEventCreationFails(true);
    EXPECT_EQ(system.CreateEvent(), nullptr);
    Manager manager(system);
    SRB_ExecSCSICmd request = ExecRequest(0, 0, {0x00}, 0, nullptr, 0);
    const int64_t start = system.QueryCounter();
    EXPECT_EQ(manager.Send(&request), SS_PENDING);
    int64_t now = start;
    while (simtest::StatusOf(request) == SS_PENDING && now - start < 2'000'000'000) {
        now = system.QueryCounter();
    }
    EXPECT_EQ(request.SRB_Status, SS_COMP);
    EXPECT_EQ(now - start, 500'000'000);  // the first reading at or past the modelled time
}

TEST(VirtualAspiExecute, WithoutAnEventTheStatusCanBePolledInRealTime)
{
    VirtualSystem system(sim::ClockMode::Real);
    std::string reason;
    system.AddDrive("disc=1", reason);
    system.SetAspiManager(Working(true));
    Manager manager(system);
    SRB_ExecSCSICmd request = ExecRequest(0, 0, {0x00}, 0, nullptr, 0);
    manager.Send(&request);
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (simtest::StatusOf(request) == SS_PENDING && std::chrono::steady_clock::now() < limit) {
    }
    EXPECT_EQ(request.SRB_Status, SS_COMP);
}

TEST(VirtualAspiExecute, WaitForAnEventNobodySignalsPassesTheLimitInVirtualTime)
{
    VirtualSystem system;
    EventHandle event = system.CreateEvent();
    const int64_t before = system.QueryCounter();
    EXPECT_FALSE(system.WaitForEvent(event, 108000));
    EXPECT_NEAR((system.QueryCounter() - before) / 1e9, 108.0, 0.001);
    system.CloseEvent(event);
    EXPECT_FALSE(system.WaitForEvent(event, 10));  // closed: no such event
}

TEST(VirtualAspiExecute, EventTableHasAFixedSize)
{
    VirtualSystem system;
    std::vector<EventHandle> made;
    for (int i = 0; i < sim::VirtualEvents::kMaxEvents; ++i) made.push_back(system.CreateEvent());
    EXPECT_EQ(system.CreateEvent(), nullptr);
    for (EventHandle event : made) {
        EXPECT_NE(event, nullptr);
        system.CloseEvent(event);
    }
    EXPECT_NE(system.CreateEvent(), nullptr);
}

TEST(VirtualAspiExecute, DisappearedDriveFailsWithoutSense)
{
    VirtualSystem system;
    sim::VirtualDrive* drive = system.AddDrive();
    system.SetAspiManager(Working());
    Manager manager(system);
    drive->Disappear();
    SRB_ExecSCSICmd request = ExecRequest(0, 0, {0x00}, 0, nullptr, 0);
    manager.Send(&request);
    EXPECT_EQ(request.SRB_Status, SS_ERR);
    EXPECT_EQ(request.SenseArea[2], 0);
}

}  // namespace
