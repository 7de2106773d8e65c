// The drive table as the application uses it: the accessors at their edges, selecting and
// closing a drive, and reading a drive's identification again.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "device/AtapiDevice.h"
#include "sim/VirtualSystem.h"

namespace {

using sim::VirtualSystem;

constexpr uint8_t kInquiryOpcode = 0x12;
constexpr int kDrives = 3;

int CountCommands(const sim::VirtualDrive& drive, uint8_t opcode)
{
    char prefix[3];
    std::snprintf(prefix, sizeof prefix, "%02X", opcode);
    int count = 0;
    for (const std::string& line : drive.trace()) count += line.compare(0, 2, prefix) == 0 ? 1 : 0;
    return count;
}

// Sense data for the given number of INQUIRY commands from the next one; the scan has sent
// each drive one INQUIRY already.
sim::Fault SenseOnNextInquiries(uint32_t repeat)
{
    return {.kind = sim::FaultKind::Sense,
            .trigger = sim::FaultTrigger::Opcode,
            .opcode = kInquiryOpcode,
            .number = 2,
            .repeat = repeat,
            .senseKey = 0x4,
            .asc = 0x44};
}

// Three drives on host 0, targets 0, 1, 2: table index i is the system's drive i.
class DriveTable : public testing::Test {
protected:
    DriveTable()
    {
        for (int i = 0; i < kDrives; ++i) drives[i] = system.AddDrive();
        device = std::make_unique<AtapiDevice>(system);
        for (sim::VirtualDrive* drive : drives) drive->ClearTrace();
    }

    size_t TraceLength(int index) const { return drives[index]->trace().size(); }
    size_t AllTraces() const { return TraceLength(0) + TraceLength(1) + TraceLength(2); }

    VirtualSystem system;
    sim::VirtualDrive* drives[kDrives] = {};
    std::unique_ptr<AtapiDevice> device;
};

// ---------------------------------------------------------------------------------------------
// Accessors

TEST_F(DriveTable, GetDriveGivesTheRecordsBelowTheCountAndNoneAtOrAbove)
{
    ASSERT_EQ(device->DriveCount(), kDrives);
    for (uint32_t i = 0; i < kDrives; ++i) {
        ASSERT_NE(device->GetDrive(i), nullptr) << i;
        EXPECT_EQ(device->GetDrive(i)->target, static_cast<int16_t>(i));
    }
    for (uint32_t index : {3u, 15u, 16u, 0x10000u, std::numeric_limits<uint32_t>::max()}) {
        EXPECT_EQ(device->GetDrive(index), nullptr) << index;
    }
    const AtapiDevice& constDevice = *device;
    EXPECT_EQ(constDevice.GetDrive(1), device->GetDrive(1));
    EXPECT_EQ(constDevice.GetDrive(3), nullptr);
}

TEST_F(DriveTable, IsPresentAnswersZeroOutsideTheTable)
{
    for (int16_t i = 0; i < kDrives; ++i) EXPECT_EQ(device->IsPresent(i), 1) << i;
    for (int16_t index : {int16_t{3}, int16_t{15}, int16_t{16}, int16_t{-1}, int16_t{127},
                          std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()}) {
        EXPECT_EQ(device->IsPresent(index), 0) << index;
    }
}

TEST(DriveTableEmpty, AMachineWithoutDrivesListsNothing)
{
    VirtualSystem system;
    AtapiDevice device(system);
    EXPECT_EQ(device.DriveCount(), 0);
    for (uint32_t i = 0; i <= kMaxDrives; ++i) EXPECT_EQ(device.GetDrive(i), nullptr) << i;
    for (int16_t i = 0; i < kMaxDrives; ++i) EXPECT_EQ(device.IsPresent(i), 0) << i;
    EXPECT_FALSE(device.SelectDrive(0));
    EXPECT_EQ(device.CurrentIndex(), kNoDriveSelected);
}

// ---------------------------------------------------------------------------------------------
// Selection

TEST_F(DriveTable, SelectDriveOpensTheDriveAndSendsItTheCommands)
{
    ASSERT_TRUE(device->SelectDrive(1));
    EXPECT_EQ(device->CurrentIndex(), 1);
    EXPECT_EQ(system.openDriveCount(), 1);
    EXPECT_EQ(AllTraces(), 0u);  // selecting sends nothing

    device->TestUnitReady();
    EXPECT_EQ(TraceLength(1), 1u);
    EXPECT_EQ(TraceLength(0) + TraceLength(2), 0u);
}

TEST_F(DriveTable, SelectingTheSelectedIndexAgainChangesNothing)
{
    ASSERT_TRUE(device->SelectDrive(1));
    system.SetOpenFails(1, true);  // a second opening would now fail

    EXPECT_TRUE(device->SelectDrive(1));
    EXPECT_EQ(device->CurrentIndex(), 1);
    EXPECT_EQ(system.openDriveCount(), 1);
    device->TestUnitReady();
    EXPECT_EQ(TraceLength(1), 1u);
}

TEST_F(DriveTable, SelectingAnotherDriveClosesThePreviousOne)
{
    ASSERT_TRUE(device->SelectDrive(0));
    ASSERT_TRUE(device->SelectDrive(2));
    EXPECT_EQ(device->CurrentIndex(), 2);
    EXPECT_EQ(system.openDriveCount(), 1);
    device->TestUnitReady();
    EXPECT_EQ(TraceLength(2), 1u);
    EXPECT_EQ(TraceLength(0), 0u);
}

TEST_F(DriveTable, AFreeSlotIsRefusedAndTheSelectionStays)
{
    ASSERT_TRUE(device->SelectDrive(0));
    EXPECT_FALSE(device->SelectDrive(kDrives));
    EXPECT_FALSE(device->SelectDrive(15));
    EXPECT_EQ(device->CurrentIndex(), 0);
    EXPECT_EQ(system.openDriveCount(), 1);
    device->TestUnitReady();
    EXPECT_EQ(TraceLength(0), 1u);
}

TEST_F(DriveTable, AnIndexOutsideTheTableIsRefused)
{
    for (int16_t index : {int16_t{-1}, int16_t{16}, int16_t{-2}, std::numeric_limits<int16_t>::min(),
                          std::numeric_limits<int16_t>::max()}) {
        EXPECT_FALSE(device->SelectDrive(index)) << index;
        EXPECT_EQ(device->CurrentIndex(), kNoDriveSelected);
    }
    EXPECT_EQ(system.openDriveCount(), 0);
}

// With no drive selected the current index is 127, which is no drive either.
TEST_F(DriveTable, TheNoneSelectedIndexIsNotReportedAsSelected)
{
    ASSERT_EQ(device->CurrentIndex(), kNoDriveSelected);
    EXPECT_FALSE(device->SelectDrive(kNoDriveSelected));
    EXPECT_EQ(device->CurrentIndex(), kNoDriveSelected);
    EXPECT_FALSE(device->TestUnitReady());
}

TEST_F(DriveTable, AFailedOpeningLeavesNoDriveSelectedAndCommandsRefused)
{
    ASSERT_TRUE(device->SelectDrive(0));
    system.SetOpenFails(1, true);

    EXPECT_FALSE(device->SelectDrive(1));
    EXPECT_EQ(device->CurrentIndex(), kSelectionFailed);
    EXPECT_EQ(system.openDriveCount(), 0);  // the previous drive was closed first
    EXPECT_FALSE(device->TestUnitReady());
    EXPECT_FALSE(device->Inquiry(0, 0, 0, 96, 0));
    EXPECT_EQ(AllTraces(), 0u);
    // -1 is the failed selection, not a drive: asking for it again is no success.
    EXPECT_FALSE(device->SelectDrive(kSelectionFailed));

    system.SetOpenFails(1, false);
    EXPECT_TRUE(device->SelectDrive(1));
    EXPECT_TRUE(device->Inquiry(0, 0, 0, 96, 0));
    EXPECT_EQ(TraceLength(1), 1u);
}

TEST_F(DriveTable, CloseDriveLeavesNoneSelectedAndNothingOpen)
{
    ASSERT_TRUE(device->SelectDrive(2));
    device->CloseDrive();
    EXPECT_EQ(device->CurrentIndex(), kNoDriveSelected);
    EXPECT_EQ(system.openDriveCount(), 0);
    EXPECT_FALSE(device->TestUnitReady());
    EXPECT_EQ(AllTraces(), 0u);

    device->CloseDrive();  // closing twice is harmless
    EXPECT_EQ(device->CurrentIndex(), kNoDriveSelected);
    EXPECT_TRUE(device->SelectDrive(2));  // and the drive can be selected again
}

TEST(DriveTableAspi, SelectingAnAspiDriveOpensNothing)
{
    VirtualSystem system;
    system.SetPlatformId(VirtualSystem::kPlatformWindows);
    sim::AspiSettings settings;
    settings.presence = sim::AspiPresence::Present;
    system.SetAspiManager(settings);
    sim::VirtualDrive* first = system.AddDrive();
    sim::VirtualDrive* second = system.AddDrive();
    AtapiDevice device(system);
    ASSERT_EQ(device.DriveCount(), 2);
    first->ClearTrace();
    second->ClearTrace();

    ASSERT_TRUE(device.SelectDrive(1));
    EXPECT_EQ(system.openDriveCount(), 0);
    EXPECT_TRUE(device.Inquiry(0, 0, 0, 96, 0));
    EXPECT_EQ(second->trace().size(), 1u);
    EXPECT_EQ(first->trace().size(), 0u);
    device.CloseDrive();
    EXPECT_FALSE(device.Inquiry(0, 0, 0, 96, 0));  // no address any more
    EXPECT_EQ(second->trace().size(), 1u);
}

// ---------------------------------------------------------------------------------------------
// Identification again

TEST_F(DriveTable, ReidentifyCurrentRewritesTheSelectedRecord)
{
    ASSERT_TRUE(device->SelectDrive(1));
    DriveRecord* record = device->GetDrive(1);
    std::memcpy(record->vendor, "OLDVENDR", 8);
    std::memset(record->displayName, 'x', sizeof record->displayName);

    EXPECT_TRUE(device->ReidentifyCurrent());
    EXPECT_STREQ(record->vendor, "TALVORE ");
    EXPECT_STREQ(record->revision, "RN05");
    const char expectedName[32] = "TALVORE DVDRW KRX-407T  ";
    EXPECT_EQ(0, std::memcmp(record->displayName, expectedName, sizeof expectedName));
    EXPECT_EQ(CountCommands(*drives[1], kInquiryOpcode), 1);
    EXPECT_EQ(TraceLength(1), 1u);  // no flash identification, nothing else
    EXPECT_STREQ(device->GetDrive(0)->vendor, "TALVORE ");
}

TEST_F(DriveTable, ReidentifyCurrentSucceedsOnTheTenthAttempt)
{
    ASSERT_TRUE(device->SelectDrive(0));
    ASSERT_TRUE(drives[0]->AddFault(SenseOnNextInquiries(9)));
    EXPECT_TRUE(device->ReidentifyCurrent());
    EXPECT_EQ(CountCommands(*drives[0], kInquiryOpcode), 10);
}

TEST_F(DriveTable, ReidentifyCurrentLeavesTheRecordAfterTenFailures)
{
    ASSERT_TRUE(device->SelectDrive(0));
    ASSERT_TRUE(drives[0]->AddFault(SenseOnNextInquiries(10)));
    DriveRecord* record = device->GetDrive(0);
    std::memcpy(record->revision, "KEEP", 4);

    EXPECT_FALSE(device->ReidentifyCurrent());
    EXPECT_EQ(CountCommands(*drives[0], kInquiryOpcode), 10);
    EXPECT_STREQ(record->revision, "KEEP");
    EXPECT_STREQ(record->vendor, "TALVORE ");
}

TEST_F(DriveTable, ReidentifyCurrentWithNoDriveSelectedTouchesNoRecord)
{
    DriveRecord before[kDrives];
    for (int i = 0; i < kDrives; ++i) before[i] = *device->GetDrive(i);

    EXPECT_FALSE(device->ReidentifyCurrent());
    EXPECT_EQ(AllTraces(), 0u);
    for (int i = 0; i < kDrives; ++i) {
        EXPECT_EQ(0, std::memcmp(&before[i], device->GetDrive(i), sizeof(DriveRecord))) << i;
    }
}

// A drive that completes INQUIRY without moving its data is not taken for the drive that
// answered before it.
class SilentInquirySystem : public VirtualSystem {
public:
    platform::DriveHandle OpenDrive(const char* root) override
    {
        const platform::DriveHandle handle = VirtualSystem::OpenDrive(root);
        if (std::strcmp(root, silentRoot) == 0) silentHandle = handle;
        return handle;
    }
    void CloseDrive(platform::DriveHandle handle) override
    {
        if (handle == silentHandle) silentHandle = platform::kInvalidDriveHandle;
        VirtualSystem::CloseDrive(handle);
    }
    bool SendPassThrough(platform::DriveHandle handle, platform::PassThroughRequest& request) override
    {
        if (handle != silentHandle || request.cdb[0] != kInquiryOpcode) {
            return VirtualSystem::SendPassThrough(handle, request);
        }
        uint8_t discarded[256];
        uint8_t* hostData = request.data;
        request.data = discarded;
        request.length = std::min<uint32_t>(request.length, sizeof discarded);
        const bool carriedOut = VirtualSystem::SendPassThrough(handle, request);
        request.data = hostData;
        request.transferred = 0;
        return carriedOut;
    }

    const char* silentRoot = "/dev/sr1";
    platform::DriveHandle silentHandle = platform::kInvalidDriveHandle;
};

TEST(DriveTableIdentification, ADriveThatSendsNoInquiryDataIsNotGivenAnotherDrivesIdentity)
{
    SilentInquirySystem system;
    ASSERT_NE(system.AddDrive(), nullptr);
    sim::VirtualDrive* silent = system.AddDrive();
    ASSERT_NE(silent, nullptr);
    AtapiDevice device(system);
    ASSERT_EQ(device.DriveCount(), 2);
    EXPECT_STREQ(device.GetDrive(1)->vendor, "");
    EXPECT_EQ(CountCommands(*silent, kInquiryOpcode), 10);

    ASSERT_TRUE(device.SelectDrive(0));
    ASSERT_TRUE(device.ReidentifyCurrent());  // drive 0's data now in the input buffer
    ASSERT_TRUE(device.SelectDrive(1));
    EXPECT_FALSE(device.ReidentifyCurrent());
    EXPECT_STREQ(device.GetDrive(1)->vendor, "");
    EXPECT_STREQ(device.GetDrive(1)->product, "");
}

}  // namespace
