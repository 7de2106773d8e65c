// The drive command set of AtapiDevice against the virtual drive: the command blocks as the
// drive receives them (its trace), the results of the single commands, and the composite
// operations on the virtual clock, where minute-long waits take no real time.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "device/AtapiDevice.h"
#include "device/DriveCommands.h"
#include "device/ErrCodeException.h"
#include "sim/VirtualSystem.h"
#include "tests/support/AllocationCounter.h"

namespace {

using sim::Fault;
using sim::FaultKind;
using sim::FaultTrigger;

// A virtual system whose drive may answer one opcode with good status and a reply shorter
// than asked for, as real drives do: the host's buffer then keeps whatever it held beyond it.
class ShortReplySystem : public sim::VirtualSystem {
public:
    void AnswerShort(uint8_t opcode, std::vector<uint8_t> reply)
    {
        shortOpcode = opcode;
        shortReply = std::move(reply);
        answering = true;
    }

    bool SendPassThrough(platform::DriveHandle handle, platform::PassThroughRequest& request) override
    {
        if (!answering || request.cdb[0] != shortOpcode) {
            return VirtualSystem::SendPassThrough(handle, request);
        }
        std::memset(request.sense, 0, sizeof request.sense);
        const uint32_t count = std::min<uint32_t>(request.length, uint32_t(shortReply.size()));
        if (count > 0) std::memcpy(request.data, shortReply.data(), count);
        request.transferred = count;
        ++shortAnswers;
        return true;
    }

    int shortAnswers = 0;

private:
    bool answering = false;
    uint8_t shortOpcode = 0;
    std::vector<uint8_t> shortReply;
};

sim::DriveConfig DriveWithDisc()
{
    sim::DriveConfig config;
    config.discPresent = true;
    return config;
}

sim::DriveConfig EmptyDrive() { return sim::DriveConfig{}; }

// Every command with this opcode, from now on, ends with the given sense data.
Fault AlwaysSense(uint8_t opcode, uint8_t key, uint8_t asc, uint8_t ascq)
{
    Fault fault;
    fault.kind = FaultKind::Sense;
    fault.trigger = FaultTrigger::Opcode;
    fault.opcode = opcode;
    fault.number = 1;
    fault.repeat = 0;
    fault.senseKey = key;
    fault.asc = asc;
    fault.ascq = ascq;
    return fault;
}

Fault AlwaysFails(uint8_t opcode)
{
    Fault fault;
    fault.kind = FaultKind::RequestFails;
    fault.trigger = FaultTrigger::Opcode;
    fault.opcode = opcode;
    fault.number = 1;
    fault.repeat = 0;
    return fault;
}

class DriveCommands : public ::testing::Test {
protected:
    // Adds the drive, builds the device object (which scans) and selects the drive; the trace
    // then starts empty.
    void Open(const sim::DriveConfig& config)
    {
        drive = system.AddDrive(sim::DriveSetup{config});
        ASSERT_NE(drive, nullptr);
        device = std::make_unique<AtapiDevice>(system);
        ASSERT_EQ(device->DriveCount(), 1);
        ASSERT_TRUE(device->SelectDrive(0));
        drive->ClearTrace();
    }

    const std::vector<std::string>& Trace() const { return drive->trace(); }

    int CountOpcode(const char* hexOpcode) const
    {
        int count = 0;
        for (const std::string& line : Trace()) count += line.compare(0, 2, hexOpcode) == 0;
        return count;
    }

    // Outcome of a trace line: "good", "sense K/ASC/ASCQ" or "failed".
    static std::string Outcome(const std::string& line)
    {
        size_t position = 0;
        for (int field = 0; field < 3; ++field) position = line.find(' ', position) + 1;
        return line.substr(position);
    }

    // The block, direction and length of a trace line, without the outcome.
    static std::string Request(const std::string& line)
    {
        const std::string outcome = Outcome(line);
        return line.substr(0, line.size() - outcome.size() - 1);
    }

    double VirtualSeconds() { return double(system.QueryCounter()) / sim::VirtualSystem::kCounterFrequency; }

    ShortReplySystem system;
    sim::VirtualDrive* drive = nullptr;
    std::unique_ptr<AtapiDevice> device;
};

// ---- Command blocks, byte for byte ------------------------------------------------------

struct BlockCase {
    const char* name;
    std::function<bool(AtapiDevice&)> send;
    const char* request;  // "<24 hex digits> <in|out|none> <length>" as the drive received it
};

void PrintTo(const BlockCase& blockCase, std::ostream* out) { *out << blockCase.name; }

class CommandBlock : public DriveCommands, public ::testing::WithParamInterface<BlockCase> {};

TEST_P(CommandBlock, ReachesTheDriveAsWritten)
{
    Open(DriveWithDisc());
    GetParam().send(*device);
    ASSERT_EQ(Trace().size(), 1u);
    EXPECT_EQ(Request(Trace()[0]), GetParam().request);
}

const BlockCase kBlockCases[] = {
    {"TestUnitReady", [](AtapiDevice& d) { return d.TestUnitReady(); }, "000000000000000000000000 none 0"},
    {"InquiryStandard", [](AtapiDevice& d) { return d.Inquiry(0, 0, 0, 96, 0); }, "120000006000000000000000 in 96"},
    {"InquiryAllFields", [](AtapiDevice& d) { return d.Inquiry(1, 1, 0x83, 0x24, 0x40); },
     "120383002440000000000000 in 36"},
    {"InquiryCmdDtMaskedToBit0", [](AtapiDevice& d) { return d.Inquiry(0xFE, 0xFF, 0, 96, 0); },
     "120100006000000000000000 in 96"},
    {"InquiryEvpdMaskedToBit0", [](AtapiDevice& d) { return d.Inquiry(0x03, 0x02, 0, 96, 0); },
     "120200006000000000000000 in 96"},
    {"StartStopImmedAndStart", [](AtapiDevice& d) { return d.StartStopUnit(1, 0, 0, 1); },
     "1B0100000100000000000000 none 0"},
    {"StartStopPowerCondition", [](AtapiDevice& d) { return d.StartStopUnit(0, 2, 1, 1); },
     "1B0000002300000000000000 none 0"},
    {"StartStopFieldsMasked", [](AtapiDevice& d) { return d.StartStopUnit(0xFF, 0x1F, 0xFE, 0x03); },
     "1B010000F100000000000000 none 0"},
    {"GetEventStatusMediaClass", [](AtapiDevice& d) { return d.GetEventStatus(1, 0x10, 8, 0); },
     "4A0100001000000008000000 in 8"},
    {"GetEventStatusAllFields", [](AtapiDevice& d) { return d.GetEventStatus(0xFF, 0x3C, 0x1234, 0x80); },
     "4A0100003C00001234800000 in 4660"},
    {"GetEventStatusAllocationKeepsLow16Bits", [](AtapiDevice& d) { return d.GetEventStatus(1, 0x10, 0x10000, 0); },
     "4A0100001000000000000000 in 65536"},
    {"ReadFlashId", [](AtapiDevice& d) { return d.ReadFlashId(); }, "DF1100000000000000000000 in 128"},
    {"ReadBufferBlock", [](AtapiDevice& d) { return d.ReadBuffer(0x0FC000, 0x4000); },
     "3C01010FC000004000000000 in 16384"},
    {"ReadBufferOffsetKeepsLow24Bits", [](AtapiDevice& d) { return d.ReadBuffer(0x12345678, 0x100); },
     "3C0101345678000100000000 in 256"},
    {"WriteBufferBlock", [](AtapiDevice& d) { return d.WriteBuffer(0x0FC000, 0x4000, 0); },
     "3B05010FC000004000000000 out 16384"},
    {"WriteBufferOffsetKeepsLow24Bits", [](AtapiDevice& d) { return d.WriteBuffer(0x01080000, 0x10, 0); },
     "3B0501080000000010000000 out 16"},
    {"WriteBufferCommit", [](AtapiDevice& d) { return d.WriteBuffer(0, 0, 0x80); }, "3B0501000000000000800000 out 16"},
    {"WriteBufferCommitBootCode", [](AtapiDevice& d) { return d.WriteBuffer(0, 0, 0xA0); },
     "3B0501000000000000A00000 out 16"},
    {"WriteBufferCommitKeepsLengthField", [](AtapiDevice& d) { return d.WriteBuffer(0, 0x4000, 0x80); },
     "3B0501000000004000800000 out 16"},
    {"WriteBufferProfile", [](AtapiDevice& d) { return d.WriteBuffer(0, 0x800, 0x7F); },
     "3B05010000000008007F0000 out 2048"},
    {"WriteBufferOtherControlMovesLength", [](AtapiDevice& d) { return d.WriteBuffer(0, 0x20, 0x81); },
     "3B0501000000000020810000 out 32"},
    {"LoadTray", [](AtapiDevice& d) { return d.LoadTray(); }, "1B0000000300000000000000 none 0"},
    {"EjectTray", [](AtapiDevice& d) { return d.EjectTray(); }, "1B0000000200000000000000 none 0"},
    {"StopUnit", [](AtapiDevice& d) { return d.StopUnit(); }, "1B0000000000000000000000 none 0"},
    {"IsTrayOpen", [](AtapiDevice& d) { return d.IsTrayOpen(); }, "4A0100001000000008000000 in 8"},
};

INSTANTIATE_TEST_SUITE_P(Table, CommandBlock, ::testing::ValuesIn(kBlockCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CommandTemplates, EveryBlockIsACopyOfItsOwnRow)
{
    const uint8_t opcodes[] = {0x00, 0x12, 0x1B, 0x4A, 0xDF, 0x3C, 0x3B};
    for (int row = 0; row < 7; ++row) {
        EXPECT_EQ(device::kCommandTemplates[row][0], opcodes[row]) << "row " << row;
    }
    EXPECT_EQ(device::kCommandTemplates[int(device::CommandTemplate::FlashId)][1], 0x11);
    EXPECT_EQ(device::kCommandTemplates[int(device::CommandTemplate::ReadBuffer)][1], 0x01);
    EXPECT_EQ(device::kCommandTemplates[int(device::CommandTemplate::WriteBuffer)][1], 0x05);
}

// ---- Data through the buffers -----------------------------------------------------------

TEST_F(DriveCommands, WrittenBlockReadsBackThroughTheBuffers)
{
    Open(DriveWithDisc());
    for (uint32_t i = 0; i < 0x4000; ++i) device->OutputBuffer()[i] = uint8_t(i * 13 + 7);
    ASSERT_TRUE(device->WriteBuffer(0x4000, 0x4000, 0));
    ASSERT_TRUE(device->ReadBuffer(0x4000, 0x4000));
    EXPECT_EQ(std::memcmp(device->InputBuffer(), device->OutputBuffer(), 0x4000), 0);
    EXPECT_EQ(std::memcmp(drive->buffer() + 0x4000, device->OutputBuffer(), 0x4000), 0);
}

TEST_F(DriveCommands, InquiryDeliversTheIdentificationIntoTheInputBuffer)
{
    Open(DriveWithDisc());
    ASSERT_TRUE(device->Inquiry(0, 0, 0, 96, 0));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(device->InputBuffer() + 8), 8), "TALVORE ");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(device->InputBuffer() + 32), 4), "RN05");
}

TEST_F(DriveCommands, RefusedFieldReturnsFalseWithItsSense)
{
    Open(DriveWithDisc());
    EXPECT_FALSE(device->Inquiry(0, 1, 0xB0, 96, 0));  // a vital product data page the drive does not have
    EXPECT_TRUE(device->SenseIs(0x5, 0x24));
}

// ---- Flash identification ---------------------------------------------------------------

TEST_F(DriveCommands, FlashIdOfAKnownChipIsTrueWithTheKeyInFront)
{
    sim::DriveConfig config = DriveWithDisc();
    const uint8_t key[] = {0xC2, 0x20, 0x00, 0x02};
    std::memcpy(config.flashId, key, sizeof key);
    Open(config);
    ASSERT_TRUE(device->ReadFlashId());
    EXPECT_EQ(std::memcmp(device->InputBuffer(), key, sizeof key), 0);
}

TEST_F(DriveCommands, FlashIdOfAllZerosIsFalseAlthoughTheCommandCompleted)
{
    sim::DriveConfig config = DriveWithDisc();
    std::memset(config.flashId, 0, sizeof config.flashId);
    Open(config);
    EXPECT_FALSE(device->ReadFlashId());
    ASSERT_EQ(Trace().size(), 1u);
    EXPECT_EQ(Outcome(Trace()[0]), "good");
    EXPECT_EQ(device->LastCommandRecord().lastStatus, 1);
}

TEST_F(DriveCommands, FlashIdCountsTheLastOfThe128Bytes)
{
    sim::DriveConfig config = DriveWithDisc();
    std::memset(config.flashId, 0, sizeof config.flashId);
    config.flashId[127] = 0x01;
    Open(config);
    EXPECT_TRUE(device->ReadFlashId());
}

TEST_F(DriveCommands, FlashIdThatFailsIsFalse)
{
    Open(DriveWithDisc());
    drive->AddFault(AlwaysSense(0xDF, 0x5, 0x20, 0x00));
    EXPECT_FALSE(device->ReadFlashId());
    EXPECT_TRUE(device->SenseIs(0x5, 0x20));
}

TEST_F(DriveCommands, ShortFlashIdReplyNeverPassesOffAnOlderReplyAsTheChip)
{
    Open(DriveWithDisc());
    ASSERT_TRUE(device->Inquiry(0, 0, 0, 96, 0));  // leaves nonzero bytes in the buffer
    system.AnswerShort(0xDF, {});
    EXPECT_FALSE(device->ReadFlashId());
    EXPECT_EQ(system.shortAnswers, 1);
}

// ---- WaitReady and IsDiscAbsent ---------------------------------------------------------

TEST_F(DriveCommands, WaitWithoutDiscEndsAtOnceAndTheDiscIsAbsent)
{
    Open(EmptyDrive());
    const double start = VirtualSeconds();
    EXPECT_TRUE(device->WaitReady(30));
    EXPECT_LT(VirtualSeconds() - start, 0.3);  // not one pause
    ASSERT_EQ(Trace().size(), 2u);             // the poll and the extra one after the loop
    EXPECT_EQ(Outcome(Trace()[1]), "sense 2/3A/01");
    EXPECT_TRUE(device->SenseIs(0x2, 0x3A));

    drive->ClearTrace();
    EXPECT_TRUE(device->IsDiscAbsent());
    EXPECT_EQ(Trace().size(), 2u);
}

TEST_F(DriveCommands, OpenEmptyTrayCountsAsDiscAbsentWhateverTheQualifier)
{
    sim::DriveConfig config = EmptyDrive();
    config.trayOpen = true;
    Open(config);
    EXPECT_TRUE(device->IsDiscAbsent());
    EXPECT_EQ(Outcome(Trace().back()), "sense 2/3A/02");
}

TEST_F(DriveCommands, ReadyDriveWithDiscIsNotDiscAbsent)
{
    Open(DriveWithDisc());
    EXPECT_TRUE(device->WaitReady(30));
    EXPECT_EQ(Trace().size(), 2u);
    EXPECT_FALSE(device->IsDiscAbsent());
}

TEST_F(DriveCommands, WaitPollsThroughAttentionAndBecomingReadyEvery300Ms)
{
    sim::DriveConfig config = EmptyDrive();
    config.trayOpen = true;
    config.becomingReadyPolls = 3;
    Open(config);
    ASSERT_TRUE(device->LoadTray());
    drive->ClearTrace();

    const double start = VirtualSeconds();
    EXPECT_TRUE(device->IsDiscAbsent());
    const double waited = VirtualSeconds() - start;
    const std::vector<std::string> expected = {"sense 6/28/00", "sense 2/04/01", "sense 2/04/01",
                                               "sense 2/04/01", "sense 2/3A/01", "sense 2/3A/01"};
    ASSERT_EQ(Trace().size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(Outcome(Trace()[i]), expected[i]) << i;
    EXPECT_GE(waited, 1.2);  // four pauses of 300 ms
    EXPECT_LT(waited, 1.5);
}

TEST_F(DriveCommands, WaitLeavesAtOnceWhenThePollFailsWithoutSense)
{
    Open(DriveWithDisc());
    drive->AddFault(AlwaysFails(0x00));
    EXPECT_TRUE(device->WaitReady(30));
    EXPECT_EQ(Trace().size(), 2u);
}

class WaitLimit : public DriveCommands, public ::testing::WithParamInterface<int32_t> {};

TEST_P(WaitLimit, DriveThatStaysBecomingReadyTimesOutAfterTheLimit)
{
    const int32_t limit = GetParam();
    Open(DriveWithDisc());
    drive->AddFault(AlwaysSense(0x00, 0x2, 0x04, 0x01));

    const auto realStart = std::chrono::steady_clock::now();
    const double start = VirtualSeconds();
    EXPECT_FALSE(device->WaitReady(limit));
    const double waited = VirtualSeconds() - start;
    const auto realSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - realStart);

    // A poll at 0, 0.3, ... up to the one at the limit, then the extra poll.
    const int polls = limit * 1000 / int(device::kReadyPollIntervalMs) + 1;
    EXPECT_EQ(CountOpcode("00"), polls + 1);
    EXPECT_EQ(Trace().size(), size_t(polls + 1));
    EXPECT_GE(waited, double(limit));
    EXPECT_LT(waited, limit + 0.3);
    EXPECT_LT(realSeconds.count(), 10.0);
    EXPECT_TRUE(device->SenseIs(0x2, 0x04));
}

TEST_P(WaitLimit, WithoutACounterTheTimeSleptEndsTheWait)
{
    const int32_t limit = GetParam();
    system.SetCounterAvailable(false);
    Open(DriveWithDisc());
    drive->AddFault(AlwaysSense(0x00, 0x2, 0x04, 0x01));
    EXPECT_FALSE(device->WaitReady(limit));
    EXPECT_EQ(CountOpcode("00"), limit * 1000 / int(device::kReadyPollIntervalMs) + 2);
}

INSTANTIATE_TEST_SUITE_P(Limits, WaitLimit, ::testing::Values(30, 60, 120));

TEST_F(DriveCommands, WaitOnADriveStuckInUnitAttentionTimesOut)
{
    Open(DriveWithDisc());
    drive->AddFault(AlwaysSense(0x00, 0x6, 0x29, 0x00));
    EXPECT_FALSE(device->WaitReady(30));
    EXPECT_EQ(CountOpcode("00"), 30 * 1000 / int(device::kReadyPollIntervalMs) + 2);
    EXPECT_TRUE(device->SenseKeyIs(0x6));
}

// With raising on, the first poll that reports not ready already raises its sense key, 2.
TEST_F(DriveCommands, BecomingReadyWithRaisingOnRaisesCode2)
{
    Open(DriveWithDisc());
    drive->AddFault(AlwaysSense(0x00, 0x2, 0x04, 0x01));
    device->EnableErrorRaising();
    try {
        device->WaitReady(30);
        FAIL() << "no exception";
    } catch (const ErrCodeException& error) {
        EXPECT_EQ(error.Code(), ErrCodeException::kWaitTimedOut);
    }
    EXPECT_EQ(Trace().size(), 1u);
}

TEST_F(DriveCommands, TimedOutDiscTestIsNotDiscAbsent)
{
    Open(EmptyDrive());
    drive->AddFault(AlwaysSense(0x00, 0x2, 0x04, 0x01));
    EXPECT_FALSE(device->IsDiscAbsent());
}

// ---- ClearUnitAttention -----------------------------------------------------------------

TEST_F(DriveCommands, MediaChangeIsClearedWithExactlyTwoPolls)
{
    sim::DriveConfig config = DriveWithDisc();
    config.trayOpen = true;
    config.becomingReadyPolls = 0;
    Open(config);
    ASSERT_TRUE(device->LoadTray());
    drive->ClearTrace();

    device->ClearUnitAttention();
    ASSERT_EQ(Trace().size(), 2u);
    EXPECT_EQ(Outcome(Trace()[0]), "sense 6/28/00");
    EXPECT_EQ(Outcome(Trace()[1]), "good");
}

TEST_F(DriveCommands, ClearingStopsAtTheFirstOtherCondition)
{
    Open(EmptyDrive());
    device->ClearUnitAttention();
    ASSERT_EQ(Trace().size(), 1u);
    EXPECT_EQ(Outcome(Trace()[0]), "sense 2/3A/01");
}

TEST_F(DriveCommands, DriveStuckInUnitAttentionIsPolledABoundedNumberOfTimes)
{
    Open(DriveWithDisc());
    drive->AddFault(AlwaysSense(0x00, 0x6, 0x29, 0x00));
    device->ClearUnitAttention();
    EXPECT_EQ(CountOpcode("00"), device::kMaxUnitAttentionPolls);
    EXPECT_EQ(Trace().size(), size_t(device::kMaxUnitAttentionPolls));
}

// ---- Tray -------------------------------------------------------------------------------

TEST_F(DriveCommands, OpenTrayIsReportedOpen)
{
    sim::DriveConfig config = EmptyDrive();
    config.trayOpen = true;
    Open(config);
    EXPECT_TRUE(device->IsTrayOpen());
}

TEST_F(DriveCommands, ClosedTrayIsReportedClosed)
{
    Open(DriveWithDisc());
    EXPECT_FALSE(device->IsTrayOpen());
    EXPECT_EQ(Outcome(Trace()[0]), "good");
}

TEST_F(DriveCommands, TrayOfADriveThatCannotTellCountsAsClosed)
{
    sim::DriveConfig config = EmptyDrive();
    config.trayOpen = true;
    Open(config);
    drive->AddFault(AlwaysFails(0x4A));
    EXPECT_FALSE(device->IsTrayOpen());
    drive->ClearFaults();
    drive->AddFault(AlwaysSense(0x4A, 0x5, 0x24, 0x00));
    EXPECT_FALSE(device->IsTrayOpen());
}

TEST_F(DriveCommands, ReplyWithoutMediaStatusNeverShowsAnOlderTrayState)
{
    sim::DriveConfig config = EmptyDrive();
    config.trayOpen = true;
    Open(config);
    ASSERT_TRUE(device->IsTrayOpen());                   // leaves the tray-open bit in the buffer
    system.AnswerShort(0x4A, {0x00, 0x02, 0x80, 0x10});  // header only: no event available
    EXPECT_FALSE(device->IsTrayOpen());
    EXPECT_EQ(system.shortAnswers, 1);
}

TEST_F(DriveCommands, EjectAndLoadWithADisc)
{
    Open(DriveWithDisc());
    ASSERT_TRUE(device->EjectTray());
    EXPECT_TRUE(drive->trayOpen());
    EXPECT_TRUE(drive->discPresent());
    EXPECT_TRUE(device->IsTrayOpen());

    ASSERT_TRUE(device->LoadTray());
    EXPECT_FALSE(drive->trayOpen());
    EXPECT_TRUE(device->WaitReady(120));
    EXPECT_TRUE(device->SenseKeyIs(0));  // the extra poll found the drive ready
    EXPECT_FALSE(device->IsTrayOpen());
}

TEST_F(DriveCommands, EjectAndLoadWithoutADisc)
{
    Open(EmptyDrive());
    ASSERT_TRUE(device->EjectTray());
    EXPECT_TRUE(drive->trayOpen());
    EXPECT_TRUE(device->IsDiscAbsent());
    ASSERT_TRUE(device->LoadTray());
    EXPECT_FALSE(drive->trayOpen());
    EXPECT_TRUE(device->IsDiscAbsent());
    EXPECT_FALSE(drive->discPresent());
}

TEST_F(DriveCommands, TrayCommandRefusedByTheDriveReturnsFalse)
{
    Open(DriveWithDisc());
    drive->AddFault(AlwaysSense(0x1B, 0x2, 0x53, 0x02));  // medium removal prevented
    EXPECT_FALSE(device->EjectTray());
    EXPECT_FALSE(drive->trayOpen());
    EXPECT_TRUE(device->SenseIs(0x2, 0x53));
}

TEST_F(DriveCommands, StopUnitReachesTheDrive)
{
    Open(DriveWithDisc());
    EXPECT_TRUE(device->StopUnit());
    EXPECT_EQ(Outcome(Trace()[0]), "good");
}

// ---- The same commands over the ASPI manager ---------------------------------------------

TEST_F(DriveCommands, CommandsAndWaitsBehaveTheSameOverAspi)
{
    system.SetPlatformId(sim::VirtualSystem::kPlatformWindows);  // ASPI is the only route
    sim::AspiSettings aspi;
    aspi.presence = sim::AspiPresence::Present;
    system.SetAspiManager(aspi);
    sim::DriveConfig config = EmptyDrive();
    config.trayOpen = true;
    config.becomingReadyPolls = 3;
    Open(config);

    EXPECT_TRUE(device->IsTrayOpen());
    EXPECT_TRUE(device->ReadFlashId());
    ASSERT_TRUE(device->LoadTray());
    drive->ClearTrace();
    const double start = VirtualSeconds();
    EXPECT_TRUE(device->IsDiscAbsent());
    EXPECT_EQ(Trace().size(), 6u);  // attention, three times becoming ready, no medium, extra
    EXPECT_GE(VirtualSeconds() - start, 1.2);
    EXPECT_EQ(Request(Trace()[0]), "000000000000000000000000 none 0");
}

// ---- No allocation ----------------------------------------------------------------------

TEST_F(DriveCommands, CommandsAllocateNothing)
{
    sim::DriveConfig config = DriveWithDisc();
    config.becomingReadyPolls = 2;
    Open(config);
    drive->SetTraceEnabled(false);  // the trace is the drive model's, not the program's
    device->TestUnitReady();        // whatever happens once per thread happens here

    const uint64_t before = testsupport::ProgramAllocationCount();
    device->TestUnitReady();
    device->Inquiry(0, 0, 0, 96, 0);
    device->StartStopUnit(0, 0, 0, 1);
    device->GetEventStatus(1, 0x10, 8, 0);
    device->ReadFlashId();
    device->WriteBuffer(0, 0x4000, 0);
    device->ReadBuffer(0, 0x4000);
    device->EjectTray();
    device->IsTrayOpen();
    device->LoadTray();
    device->ClearUnitAttention();
    device->WaitReady(30);
    device->IsDiscAbsent();
    device->StopUnit();
    EXPECT_EQ(testsupport::ProgramAllocationCount(), before);
}

}  // namespace
