// The virtual system as the seam: roots, opening, addresses, pass-through, version, restart,
// message boxes, and the modelled command time on the virtual clock.

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "DriveHost.h"
#include "sim/VirtualSystem.h"

namespace {

using namespace simtest;
using platform::AddressQuery;
using platform::DriveHandle;
using platform::kInvalidDriveHandle;
using platform::PassThroughRequest;
using sim::VirtualSystem;

PassThroughRequest Request(std::initializer_list<uint8_t> cdb, DataDirection direction, uint8_t* data, uint32_t length)
{
    PassThroughRequest request{};
    Cdb block = Block(cdb);
    std::memcpy(request.cdb, block.bytes, sizeof request.cdb);
    request.direction = direction;
    request.data = data;
    request.length = length;
    request.timeoutMs = 108000;
    std::memset(request.sense, 0xEE, sizeof request.sense);
    request.transferred = 12345;
    return request;
}

double Seconds(int64_t ticks) { return static_cast<double>(ticks) / VirtualSystem::kCounterFrequency; }

TEST(VirtualSystemRoots, ListsDrivesAndOtherRootsInOrder)
{
    VirtualSystem system;
    ASSERT_TRUE(system.AddOtherRoot("C:\\"));
    std::string reason;
    ASSERT_NE(system.AddDrive("root=D:\\", reason), nullptr) << reason;
    ASSERT_NE(system.AddDrive("", reason), nullptr) << reason;

    platform::DriveRootList list;
    system.ListDriveRoots(list);
    ASSERT_EQ(list.count, 3);
    EXPECT_STREQ(list.roots[0], "C:\\");
    EXPECT_STREQ(list.roots[1], "D:\\");
    EXPECT_STREQ(list.roots[2], "/dev/sr1");  // automatic root from the drive's number
    EXPECT_FALSE(system.IsOpticalDrive("C:\\"));
    EXPECT_TRUE(system.IsOpticalDrive("D:\\"));
    EXPECT_TRUE(system.IsOpticalDrive("/dev/sr1"));
    EXPECT_FALSE(system.IsOpticalDrive("/dev/sr7"));
    EXPECT_FALSE(system.IsOpticalDrive(nullptr));
}

TEST(VirtualSystemRoots, RefusesASecondDriveBehindTheSameRoot)
{
    VirtualSystem system;
    std::string reason;
    ASSERT_NE(system.AddDrive("root=/dev/sr0", reason), nullptr);
    EXPECT_EQ(system.AddDrive("root=/dev/sr0", reason), nullptr);
    EXPECT_FALSE(reason.empty());
    EXPECT_FALSE(system.AddOtherRoot("/dev/sr0"));
    EXPECT_EQ(system.driveCount(), 1);
}

TEST(VirtualSystemRoots, BadTextFormAddsNoDrive)
{
    VirtualSystem system;
    std::string reason;
    EXPECT_EQ(system.AddDrive("colour=blue", reason), nullptr);
    EXPECT_EQ(reason, "unknown key \"colour\"");
    EXPECT_EQ(system.driveCount(), 0);
}

TEST(VirtualSystemRoots, TableHoldsSixteenDrives)
{
    VirtualSystem system;
    for (int i = 0; i < VirtualSystem::kMaxDrives; ++i) ASSERT_NE(system.AddDrive(), nullptr);
    EXPECT_EQ(system.AddDrive(), nullptr);
}

TEST(VirtualSystemOpen, OpensDrivesOnlyAndCanBeMadeToFail)
{
    VirtualSystem system;
    system.AddOtherRoot("C:\\");
    std::string reason;
    system.AddDrive("root=/dev/sr0", reason);
    system.AddDrive("root=/dev/sr1,open=fails", reason);

    EXPECT_EQ(system.OpenDrive("C:\\"), kInvalidDriveHandle);
    EXPECT_EQ(system.OpenDrive("/dev/sr1"), kInvalidDriveHandle);
    EXPECT_EQ(system.OpenDrive("/dev/sr9"), kInvalidDriveHandle);
    const DriveHandle first = system.OpenDrive("/dev/sr0");
    const DriveHandle second = system.OpenDrive("/dev/sr0");  // shared opening
    EXPECT_NE(first, kInvalidDriveHandle);
    EXPECT_NE(second, kInvalidDriveHandle);
    EXPECT_NE(first, second);
    EXPECT_EQ(system.openDriveCount(), 2);
    system.CloseDrive(first);
    system.CloseDrive(second);
    system.CloseDrive(kInvalidDriveHandle);
    EXPECT_EQ(system.openDriveCount(), 0);

    system.SetOpenFails(1, false);
    const DriveHandle now = system.OpenDrive("/dev/sr1");
    EXPECT_NE(now, kInvalidDriveHandle);
    system.CloseDrive(now);
}

TEST(VirtualSystemAddress, GivenAutomaticMissingAndEmpty)
{
    VirtualSystem system;
    std::string reason;
    system.AddDrive("host=1,path=0,target=2,lun=0", reason);
    system.AddDrive("", reason);
    system.AddDrive("address=none", reason);
    system.AddDrive("address=empty", reason);

    platform::ScsiAddress address{};
    DriveHandle handle = system.OpenDrive("/dev/sr0");
    EXPECT_EQ(system.QueryScsiAddress(handle, address), AddressQuery::Found);
    EXPECT_EQ(address.host, 1);
    EXPECT_EQ(address.target, 2);
    system.CloseDrive(handle);

    handle = system.OpenDrive("/dev/sr1");
    EXPECT_EQ(system.QueryScsiAddress(handle, address), AddressQuery::Found);
    EXPECT_EQ(address.host, 0);
    EXPECT_EQ(address.target, 1);  // automatic: the drive's number
    system.CloseDrive(handle);

    handle = system.OpenDrive("/dev/sr2");
    EXPECT_EQ(system.QueryScsiAddress(handle, address), AddressQuery::QueryFailed);
    system.CloseDrive(handle);
    handle = system.OpenDrive("/dev/sr3");
    EXPECT_EQ(system.QueryScsiAddress(handle, address), AddressQuery::Empty);
    system.CloseDrive(handle);
    EXPECT_EQ(system.QueryScsiAddress(handle, address), AddressQuery::QueryFailed);
}

TEST(VirtualSystemAddress, StorageDescriptorOfAnOpenDrive)
{
    VirtualSystem system;
    system.AddDrive();
    uint8_t descriptor[platform::kStorageDescriptorSize];
    EXPECT_FALSE(system.QueryStorageDescriptor(kInvalidDriveHandle, descriptor));
    const DriveHandle handle = system.OpenDrive("/dev/sr0");
    ASSERT_TRUE(system.QueryStorageDescriptor(handle, descriptor));
    EXPECT_EQ(descriptor[0], 40);
    EXPECT_EQ(descriptor[8], 0x05);
    system.CloseDrive(handle);
}

TEST(VirtualSystemPassThrough, DeliversTheCommandAndReturnsData)
{
    VirtualSystem system;
    sim::VirtualDrive* drive = system.AddDrive();
    const DriveHandle handle = system.OpenDrive("/dev/sr0");
    uint8_t data[96] = {};
    PassThroughRequest request = Request({0x12, 0, 0, 0, 96}, DataDirection::In, data, 96);
    ASSERT_TRUE(system.SendPassThrough(handle, request));
    EXPECT_EQ(request.transferred, 96u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data + 8), 8), "TALVORE ");
    for (uint8_t byte : request.sense) EXPECT_EQ(byte, 0);  // zeroed, no sense
    EXPECT_EQ(drive->trace().back(), "120000006000000000000000 in 96 good");
    system.CloseDrive(handle);
}

TEST(VirtualSystemPassThrough, SenseDataComeBackWithTheRequestCarriedOut)
{
    VirtualSystem system;
    system.AddDrive();
    const DriveHandle handle = system.OpenDrive("/dev/sr0");
    PassThroughRequest request = Request({0x00}, DataDirection::None, nullptr, 0);
    ASSERT_TRUE(system.SendPassThrough(handle, request));
    EXPECT_EQ(request.sense[0], 0x70);
    EXPECT_EQ(request.sense[2] & 0x0F, 0x2);
    EXPECT_EQ(request.sense[12], 0x3A);
    EXPECT_EQ(request.sense[13], 0x01);
    for (int i = 18; i < platform::kSenseSize; ++i) EXPECT_EQ(request.sense[i], 0);
    EXPECT_EQ(request.transferred, 0u);
    system.CloseDrive(handle);
}

TEST(VirtualSystemPassThrough, FailsWithoutAnOpenDriveOrWithoutData)
{
    VirtualSystem system;
    sim::VirtualDrive* drive = system.AddDrive();
    PassThroughRequest request = Request({0x00}, DataDirection::None, nullptr, 0);
    EXPECT_FALSE(system.SendPassThrough(kInvalidDriveHandle, request));
    EXPECT_FALSE(system.SendPassThrough(999, request));
    const DriveHandle handle = system.OpenDrive("/dev/sr0");
    PassThroughRequest nowhere = Request({0x12, 0, 0, 0, 96}, DataDirection::In, nullptr, 96);
    EXPECT_FALSE(system.SendPassThrough(handle, nowhere));
    EXPECT_EQ(nowhere.transferred, 0u);
    EXPECT_EQ(drive->commandCount(), 0u);
    system.CloseDrive(handle);
}

TEST(VirtualSystemPassThrough, DisappearedDriveFailsAndLeavesTheSystem)
{
    VirtualSystem system;
    sim::VirtualDrive* drive = system.AddDrive();
    const DriveHandle handle = system.OpenDrive("/dev/sr0");
    drive->Disappear();
    PassThroughRequest request = Request({0x00}, DataDirection::None, nullptr, 0);
    EXPECT_FALSE(system.SendPassThrough(handle, request));
    EXPECT_EQ(drive->trace().back(), "000000000000000000000000 none 0 failed");
    platform::DriveRootList list;
    system.ListDriveRoots(list);
    EXPECT_EQ(list.count, 0);
    EXPECT_FALSE(system.IsOpticalDrive("/dev/sr0"));
    EXPECT_EQ(system.OpenDrive("/dev/sr0"), kInvalidDriveHandle);
    system.CloseDrive(handle);
}

// The driver gets the request's limit plus the margin, as on a real system: a command that
// runs a little past timeoutMs comes back done, and the program judges the time itself.
struct CutOffRow {
    const char* name;
    uint32_t timeoutMs;
    double commandSeconds;
    bool carriedOut;
    double secondsPassed;
    const char* traceLine;
};

void PrintTo(const CutOffRow& row, std::ostream* out) { *out << row.name; }

const CutOffRow kCutOffRows[] = {
    {"WithinTheLimit", 108000, 100.0, true, 100.0, "000000000000000000000000 none 0 good"},
    {"PastTheLimitWithinTheMargin", 108000, 108.4, true, 108.4, "000000000000000000000000 none 0 good"},
    {"AtTheLimitPlusTheMargin", 108000, 118.0, true, 118.0, "000000000000000000000000 none 0 good"},
    {"PastTheMargin", 108000, 118.5, false, 118.0, "000000000000000000000000 none 0 failed"},
    {"ShortLimitPastTheMargin", 2000, 500.0, false, 12.0, "000000000000000000000000 none 0 failed"},
    {"NoLimitStillHasTheMargin", 0, 10.5, false, 10.0, "000000000000000000000000 none 0 failed"},
};

class VirtualSystemCutOff : public ::testing::TestWithParam<CutOffRow> {};

TEST_P(VirtualSystemCutOff, DriverLimitIsTheRequestsLimitPlusTheMargin)
{
    const CutOffRow& row = GetParam();
    VirtualSystem system;
    sim::DriveSetup setup;
    setup.drive.discPresent = true;
    sim::Fault slow;
    slow.kind = sim::FaultKind::Slow;
    slow.seconds = row.commandSeconds;
    setup.faults[setup.faultCount++] = slow;
    sim::VirtualDrive* drive = system.AddDrive(setup);
    ASSERT_NE(drive, nullptr);
    const DriveHandle handle = system.OpenDrive("/dev/sr0");
    PassThroughRequest request = Request({0x00}, DataDirection::None, nullptr, 0);
    request.timeoutMs = row.timeoutMs;

    const int64_t before = system.QueryCounter();
    EXPECT_EQ(system.SendPassThrough(handle, request), row.carriedOut);
    const int64_t after = system.QueryCounter();
    EXPECT_NEAR(Seconds(after - before - VirtualSystem::kCounterStepTicks), row.secondsPassed, 1e-9);
    EXPECT_EQ(drive->trace().back(), row.traceLine);
    system.CloseDrive(handle);
}

INSTANTIATE_TEST_SUITE_P(Rows, VirtualSystemCutOff, ::testing::ValuesIn(kCutOffRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(VirtualSystemTiming, RealisticModelAdvancesTheClockByTheModelledTime)
{
    VirtualSystem system;
    std::string reason;
    system.AddDrive("timing=realistic,latency=0.002,rate=4000000,commit=30", reason);
    const DriveHandle handle = system.OpenDrive("/dev/sr0");
    std::vector<uint8_t> block(16384, 0x33);

    PassThroughRequest write = Request({0x3B, 0x05, 0x01, 0, 0, 0, 0, 0x40, 0x00}, DataDirection::Out, block.data(),
                                       16384);
    int64_t before = system.QueryCounter();
    ASSERT_TRUE(system.SendPassThrough(handle, write));
    int64_t after = system.QueryCounter();
    const double step = Seconds(VirtualSystem::kCounterStepTicks);
    EXPECT_NEAR(Seconds(after - before), 0.002 + 16384 / 4000000.0 + step, 1e-9);

    PassThroughRequest commit = Request({0x3B, 0x05, 0x01, 0, 0, 0, 0, 0, 0, 0x80}, DataDirection::Out, block.data(),
                                        16);
    before = system.QueryCounter();
    ASSERT_TRUE(system.SendPassThrough(handle, commit));
    after = system.QueryCounter();
    EXPECT_NEAR(Seconds(after - before), 30.0 + 0.002 + 16 / 4000000.0 + step, 1e-9);
    system.CloseDrive(handle);
}

TEST(VirtualSystemTiming, InstantDriveTakesNoTime)
{
    VirtualSystem system;
    system.AddDrive();
    const DriveHandle handle = system.OpenDrive("/dev/sr0");
    PassThroughRequest request = Request({0x00}, DataDirection::None, nullptr, 0);
    const int64_t before = system.QueryCounter();
    system.SendPassThrough(handle, request);
    EXPECT_EQ(system.QueryCounter() - before, VirtualSystem::kCounterStepTicks);
    system.CloseDrive(handle);
}

TEST(VirtualSystemTiming, RealClockReallyWaitsForASlowCommand)
{
    VirtualSystem system(sim::ClockMode::Real);
    std::string reason;
    system.AddDrive("fault=00#1:slow:0.05", reason);
    const DriveHandle handle = system.OpenDrive("/dev/sr0");
    PassThroughRequest request = Request({0x00}, DataDirection::None, nullptr, 0);
    const auto start = std::chrono::steady_clock::now();
    system.SendPassThrough(handle, request);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
    system.CloseDrive(handle);
}

TEST(VirtualSystemVersion, PlatformIdentifierAndFailure)
{
    VirtualSystem system;
    uint32_t id = 0;
    ASSERT_TRUE(system.QueryPlatformId(id));
    EXPECT_EQ(id, VirtualSystem::kPlatformNT);
    system.SetPlatformId(VirtualSystem::kPlatformWindows);
    ASSERT_TRUE(system.QueryPlatformId(id));
    EXPECT_EQ(id, 1u);
    system.SetVersionQueryFails(true);
    EXPECT_FALSE(system.QueryPlatformId(id));
}

TEST(VirtualSystemRestart, RecordedNeverPerformed)
{
    VirtualSystem system;
    EXPECT_TRUE(system.EnableShutdownPrivilege());
    EXPECT_TRUE(system.RequestRestart(2));
    system.SetShutdownPrivilege(false);
    system.SetRestartAccepted(false);
    EXPECT_FALSE(system.EnableShutdownPrivilege());
    EXPECT_FALSE(system.RequestRestart(6));
    EXPECT_EQ(system.restartRequests(), (std::vector<uint32_t>{2, 6}));
}

TEST(VirtualSystemMessages, RecordsTextCaptionAndIcon)
{
    VirtualSystem system;
    system.ShowMessage("LoadLibrary:\nWNASPI32.DLL not found.", "Error FS 002", platform::MessageIcon::Error);
    system.ShowMessage(nullptr, nullptr, platform::MessageIcon::Information);
    const auto shown = system.messages();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, "LoadLibrary:\nWNASPI32.DLL not found.");
    EXPECT_EQ(shown[0].caption, "Error FS 002");
    EXPECT_EQ(shown[0].icon, platform::MessageIcon::Error);
    EXPECT_EQ(shown[1].text, "");
}

TEST(VirtualSystemThreads, SeveralThreadsDriveTheirOwnDrives)
{
    VirtualSystem system;
    constexpr int kDrives = 4;
    for (int i = 0; i < kDrives; ++i) system.AddDrive();
    std::vector<std::thread> workers;
    for (int i = 0; i < kDrives; ++i) {
        workers.emplace_back([&system, i] {
            const std::string root = "/dev/sr" + std::to_string(i);
            for (int n = 0; n < 200; ++n) {
                const DriveHandle handle = system.OpenDrive(root.c_str());
                PassThroughRequest request = Request({0x00}, DataDirection::None, nullptr, 0);
                system.SendPassThrough(handle, request);
                system.Sleep(300);
                system.CloseDrive(handle);
            }
        });
    }
    for (auto& worker : workers) worker.join();
    for (int i = 0; i < kDrives; ++i) EXPECT_EQ(system.drive(i).commandCount(), 200u);
    EXPECT_EQ(system.openDriveCount(), 0);
}

}  // namespace
