// The command transport against the virtual system on its virtual clock: both paths, the
// refusals, the last-command record, the time-out boundary, the retry, sense data, the ASPI
// request block, events and polling, a manager that keeps a request past its wait, the ASPI
// loader's messages and the transport choice.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "device/AtapiDevice.h"
#include "tests/device/ObservedSystem.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

using devicetest::Cdb;
using devicetest::ObservedSystem;
using devicetest::Path;
using platform::DataDirection;

constexpr int kReturned = -1;  // RaisedCode: the command returned instead of raising

// A field of the byte-packed ASPI request, read out (no reference to it may be bound).
template <typename T>
T Copy(T field)
{
    return field;
}

class DeviceOnPath : public ::testing::Test {
protected:
    void Start(Path path, const sim::DriveSetup& setup = devicetest::ReadyDrive())
    {
        devicetest::UsePath(system, path);
        drive = system.AddDrive(setup);
        ASSERT_NE(drive, nullptr);
        device = std::make_unique<AtapiDevice>(system);
        ASSERT_TRUE(device->SelectDrive(0));
        drive->ClearTrace();
        system.passThroughCount = system.executeCount = 0;  // what the scan sent
    }

    bool Execute(const Cdb& cdb, DataDirection direction, uint32_t length)
    {
        return device->ExecuteCommand(cdb.bytes, direction, length);
    }

    // The code raised with the raise-on-error flag set, or kReturned.
    int RaisedCode(const Cdb& cdb, DataDirection direction, uint32_t length)
    {
        device->EnableErrorRaising();
        try {
            Execute(cdb, direction, length);
        } catch (const ErrCodeException& error) {
            return error.Code();
        }
        return kReturned;
    }

    size_t Sent() const { return drive->trace().size(); }
    const LastCommand& Record() const { return device->LastCommandRecord(); }

    // Leaves sense 2/3A/00 from one sent command in the record.
    void LeaveSenseInRecord()
    {
        drive->AddFault(devicetest::NextSense(*drive, 0x2, 0x3A, 0x00));
        ASSERT_FALSE(Execute(devicetest::TestUnitReadyCdb(), DataDirection::None, 0));
        ASSERT_TRUE(device->SenseIs(0x2, 0x3A));
    }

    void ExpectRecordUnchanged(const LastCommand& before)
    {
        const LastCommand& after = Record();
        EXPECT_EQ(after.lastStatus, before.lastStatus);
        EXPECT_EQ(after.senseKey, before.senseKey);
        EXPECT_EQ(after.asc, before.asc);
        EXPECT_EQ(after.ascq, before.ascq);
        EXPECT_EQ(after.lastElapsed, before.lastElapsed);
        EXPECT_EQ(after.lastTimedOut, before.lastTimedOut);
        EXPECT_EQ(after.lastTransferred, before.lastTransferred);
        EXPECT_EQ(0, std::memcmp(after.lastCdb, before.lastCdb, sizeof before.lastCdb));
    }

    ObservedSystem system;
    sim::VirtualDrive* drive = nullptr;
    std::unique_ptr<AtapiDevice> device;
};

// --- Behaviour shared by both paths --------------------------------------------------------------

class Transport : public DeviceOnPath, public ::testing::WithParamInterface<Path> {
protected:
    void SetUp() override { Start(GetParam()); }
};

TEST_P(Transport, GoodCommandFillsTheRecordAndTheInputBuffer)
{
    const Cdb inquiry = devicetest::InquiryCdb(96);
    ASSERT_TRUE(Execute(inquiry, DataDirection::In, 96));
    EXPECT_EQ(Record().lastStatus, 1);
    EXPECT_EQ(Record().lastTransferred, 96u);
    EXPECT_EQ(Record().senseKey, 0);
    EXPECT_FALSE(Record().lastTimedOut);
    EXPECT_EQ(0, std::memcmp(Record().lastCdb, inquiry.bytes, sizeof inquiry.bytes));
    EXPECT_EQ(0, std::memcmp(device->InputBuffer() + 8, "TALVORE DVDRW KRX-407T", 22));
    ASSERT_EQ(Sent(), 1u);
    EXPECT_EQ(drive->trace()[0], "120000006000000000000000 in 96 good");
}

TEST_P(Transport, NoDataCommandHandsNoAddressAndNoLength)
{
    ASSERT_TRUE(Execute(devicetest::TestUnitReadyCdb(), DataDirection::None, 0));
    ASSERT_TRUE(Execute(devicetest::InquiryCdb(0), DataDirection::In, 0));
    if (GetParam() == Path::PassThrough) {
        EXPECT_EQ(system.lastPassThrough.data, nullptr);
        EXPECT_EQ(system.lastPassThrough.length, 0u);
    } else {
        EXPECT_EQ(Copy(system.lastExecute.SRB_BufPointer), nullptr);
        EXPECT_EQ(Copy(system.lastExecute.SRB_BufLen), 0u);
    }
    ASSERT_EQ(Sent(), 2u);
    EXPECT_EQ(drive->trace()[0], "000000000000000000000000 none 0 good");
    EXPECT_EQ(Record().lastTransferred, 0u);
}

TEST_P(Transport, WithoutDriveNothingIsSentAndTheRecordStays)
{
    LeaveSenseInRecord();
    const LastCommand before = Record();
    device->CloseDrive();
    EXPECT_FALSE(Execute(devicetest::InquiryCdb(96), DataDirection::In, 96));
    ExpectRecordUnchanged(before);
    EXPECT_TRUE(device->SenseIs(0x2, 0x3A));
    EXPECT_EQ(RaisedCode(devicetest::InquiryCdb(96), DataDirection::In, 96), ErrCodeException::kNotCarriedOut);
    ExpectRecordUnchanged(before);
    EXPECT_EQ(Sent(), 1u);
}

TEST_P(Transport, CommandOfExactlyTheLimitIsInTime)
{
    drive->AddFault(devicetest::NextSlow(*drive, 108.0));
    EXPECT_TRUE(Execute(devicetest::TestUnitReadyCdb(), DataDirection::None, 0));
    EXPECT_DOUBLE_EQ(Record().lastElapsed, 108.0);
    EXPECT_FALSE(Record().lastTimedOut);
    EXPECT_EQ(Record().lastStatus, 1);
}

// Well inside the pass-through's cut-off (the limit plus the driver margin): the drive answers
// good, and the device object judges the command too slow.
TEST_P(Transport, GoodCommandPastTheLimitHasTimedOut)
{
    drive->AddFault(devicetest::NextSlow(*drive, 108.4));
    EXPECT_FALSE(Execute(devicetest::InquiryCdb(96), DataDirection::In, 96));
    EXPECT_NEAR(Record().lastElapsed, 108.4, 1e-6);
    EXPECT_TRUE(Record().lastTimedOut);
    EXPECT_EQ(Record().lastStatus, 0);
    EXPECT_EQ(Record().lastTransferred, 0u);
    EXPECT_EQ(drive->trace().back(), "120000006000000000000000 in 96 good");

    drive->AddFault(devicetest::NextSlow(*drive, 108.4));
    EXPECT_EQ(RaisedCode(devicetest::TestUnitReadyCdb(), DataDirection::None, 0), ErrCodeException::kTimedOut);
    EXPECT_EQ(Sent(), 2u);  // no second attempt after a time-out
}

TEST_P(Transport, SlowCommandWithSenseCountsAsTimedOut)
{
    drive->AddFault(devicetest::NextSense(*drive, 0x3, 0x11, 0x00));
    drive->AddFault(devicetest::NextSlow(*drive, 109.0));
    EXPECT_EQ(RaisedCode(devicetest::TestUnitReadyCdb(), DataDirection::None, 0), ErrCodeException::kTimedOut);
    EXPECT_EQ(Record().lastStatus, 0);
    EXPECT_EQ(Sent(), 1u);
}

TEST_P(Transport, SenseDataReturnsFalseOnceWithTheSenseKept)
{
    drive->AddFault(devicetest::NextSense(*drive, 0x2, 0x3A, 0x01));
    EXPECT_FALSE(Execute(devicetest::TestUnitReadyCdb(), DataDirection::None, 0));
    EXPECT_TRUE(device->SenseIs(0x2, 0x3A));
    EXPECT_TRUE(device->SenseKeyIs(0x2));
    EXPECT_FALSE(device->SenseIs(0x2, 0x04));
    EXPECT_FALSE(device->SenseIs(0x3, 0x3A));
    EXPECT_EQ(Record().ascq, 0x01);
    EXPECT_EQ(Record().lastStatus, 2);
    EXPECT_EQ(Sent(), 1u);
}

TEST_P(Transport, SenseDataRaisesTheKeyWithoutRetry)
{
    drive->AddFault(devicetest::NextSense(*drive, 0x2, 0x3A, 0x00));
    EXPECT_EQ(RaisedCode(devicetest::TestUnitReadyCdb(), DataDirection::None, 0), 2);
    EXPECT_EQ(Record().lastStatus, 2);
    EXPECT_EQ(Sent(), 1u);
    drive->AddFault(devicetest::NextSense(*drive, 0xF, 0x00, 0x00));
    EXPECT_EQ(RaisedCode(devicetest::TestUnitReadyCdb(), DataDirection::None, 0), 15);
}

TEST_P(Transport, FailedRequestIsSentOnceWhileNotRaising)
{
    drive->AddFault(devicetest::NextCommands(*drive, sim::FaultKind::RequestFails, 0));
    EXPECT_FALSE(Execute(devicetest::InquiryCdb(96), DataDirection::In, 96));
    EXPECT_EQ(Record().lastStatus, 0);
    EXPECT_EQ(Record().lastTransferred, 0u);
    EXPECT_EQ(Record().senseKey, 0);
    ASSERT_EQ(Sent(), 1u);
    EXPECT_EQ(drive->trace()[0], "120000006000000000000000 in 96 failed");
}

TEST_P(Transport, FailedRequestIsSentTwiceThenRaises242)
{
    drive->AddFault(devicetest::NextCommands(*drive, sim::FaultKind::RequestFails, 0));
    EXPECT_EQ(RaisedCode(devicetest::InquiryCdb(96), DataDirection::In, 96), ErrCodeException::kNotCarriedOut);
    EXPECT_EQ(Sent(), 2u);
    EXPECT_EQ(Record().lastStatus, 0);
}

TEST_P(Transport, RequestThatFailsOnceSucceedsOnItsSecondAttempt)
{
    drive->AddFault(devicetest::NextCommands(*drive, sim::FaultKind::RequestFails, 1));
    EXPECT_EQ(RaisedCode(devicetest::InquiryCdb(96), DataDirection::In, 96), kReturned);
    EXPECT_EQ(Record().lastStatus, 1);
    ASSERT_EQ(Sent(), 2u);
    EXPECT_EQ(drive->trace()[1], "120000006000000000000000 in 96 good");
}

TEST_P(Transport, WithoutCounterNoCommandTimesOut)
{
    system.SetCounterAvailable(false);
    AtapiDevice untimed(system, false);
    device->CopyStateTo(untimed);
    ASSERT_TRUE(untimed.SelectDrive(0));
    drive->AddFault(devicetest::NextSlow(*drive, 108.4));  // timed out where there is a counter
    const Cdb tur = devicetest::TestUnitReadyCdb();
    EXPECT_TRUE(untimed.ExecuteCommand(tur.bytes, DataDirection::None, 0));
    EXPECT_EQ(untimed.LastCommandRecord().lastElapsed, 0.0);
    EXPECT_FALSE(untimed.LastCommandRecord().lastTimedOut);
}

TEST_P(Transport, LengthBeyondTheBuffersIsRefused)
{
    LeaveSenseInRecord();
    const LastCommand before = Record();
    EXPECT_FALSE(Execute(devicetest::ReadBufferCdb(65537), DataDirection::In, 65537));
    EXPECT_EQ(RaisedCode(devicetest::WriteBufferCdb(70000), DataDirection::Out, 70000),
              ErrCodeException::kNotCarriedOut);
    ExpectRecordUnchanged(before);
    EXPECT_EQ(Sent(), 1u);

    device->DisableErrorRaising();
    EXPECT_TRUE(Execute(devicetest::ReadBufferCdb(65536), DataDirection::In, 65536));
    EXPECT_EQ(drive->trace().back(), "3C0101000000010000000000 in 65536 good");
}

TEST_P(Transport, MissingBufferIsNeverHandedOverWithALength)
{
    LeaveSenseInRecord();
    const LastCommand before = Record();
    device->FreeBuffers();
    EXPECT_FALSE(Execute(devicetest::InquiryCdb(96), DataDirection::In, 96));
    EXPECT_EQ(RaisedCode(devicetest::WriteBufferCdb(16), DataDirection::Out, 16), ErrCodeException::kNotCarriedOut);
    ExpectRecordUnchanged(before);
    EXPECT_EQ(Sent(), 1u);
    device->DisableErrorRaising();
    EXPECT_TRUE(Execute(devicetest::TestUnitReadyCdb(), DataDirection::None, 0));
    EXPECT_EQ(Sent(), 2u);
}

INSTANTIATE_TEST_SUITE_P(BothPaths, Transport, ::testing::Values(Path::PassThrough, Path::Aspi),
                         [](const auto& info) { return std::string(devicetest::PathName(info.param)); });

// --- Pass-through ------------------------------------------------------------------------------

class PassThroughTransport : public DeviceOnPath {
protected:
    void SetUp() override { Start(Path::PassThrough); }
};

TEST_F(PassThroughTransport, RequestCarriesBlockDirectionBufferAndTimeOut)
{
    const Cdb inquiry = devicetest::InquiryCdb(96);
    ASSERT_TRUE(Execute(inquiry, DataDirection::In, 96));
    const platform::PassThroughRequest& request = system.lastPassThrough;
    EXPECT_EQ(0, std::memcmp(request.cdb, inquiry.bytes, sizeof inquiry.bytes));
    EXPECT_EQ(request.direction, DataDirection::In);
    EXPECT_EQ(request.data, device->InputBuffer());
    EXPECT_EQ(request.length, 96u);
    EXPECT_EQ(request.timeoutMs, 108000u);

    device->SetCommandTimeout(30000);
    Execute(devicetest::WriteBufferCdb(16), DataDirection::Out, 16);
    EXPECT_EQ(system.lastPassThrough.direction, DataDirection::Out);
    EXPECT_EQ(system.lastPassThrough.data, device->OutputBuffer());
    EXPECT_EQ(system.lastPassThrough.timeoutMs, 30000u);
    EXPECT_EQ(system.passThroughCount, 2);
    EXPECT_EQ(system.executeCount, 0);
}

TEST_F(PassThroughTransport, TransferredIsWhatTheSystemMoved)
{
    ASSERT_TRUE(Execute(devicetest::InquiryCdb(36), DataDirection::In, 96));
    EXPECT_EQ(Record().lastTransferred, 36u);
}

// A buffer command that moved fewer bytes than asked has failed, without a second attempt, with
// the bytes moved and asked in the record (other commands may move less: see above).
TEST_F(PassThroughTransport, BufferCommandThatMovedLessThanAskedHasFailed)
{
    sim::Fault shortTransfer = devicetest::NextCommands(*drive, sim::FaultKind::ShortTransfer, 2);
    shortTransfer.bytesMoved = 36;
    drive->AddFault(shortTransfer);
    EXPECT_FALSE(Execute(devicetest::WriteBufferCdb(16384), DataDirection::Out, 16384));
    EXPECT_EQ(Record().lastStatus, scsi::kCommandShort);
    EXPECT_EQ(Record().lastTransferred, 36u);
    EXPECT_EQ(Record().lastLength, 16384u);
    EXPECT_EQ(RaisedCode(devicetest::ReadBufferCdb(16384), DataDirection::In, 16384), ErrCodeException::kNotCarriedOut);
    EXPECT_EQ(Sent(), 2u);
}

TEST_F(PassThroughTransport, FailedRequestRanksBeforeSense)
{
    sim::Fault sense = devicetest::NextSense(*drive, 0x3, 0x11, 0x00);
    sense.repeat = 0;
    drive->AddFault(sense);
    system.failPassThroughKeepingSense = true;
    EXPECT_FALSE(Execute(devicetest::TestUnitReadyCdb(), DataDirection::None, 0));
    EXPECT_EQ(Record().lastStatus, 0);
    EXPECT_TRUE(device->SenseIs(0x3, 0x11));
    EXPECT_EQ(RaisedCode(devicetest::TestUnitReadyCdb(), DataDirection::None, 0), ErrCodeException::kNotCarriedOut);
    EXPECT_EQ(Sent(), 3u);
}

// --- ASPI ----------------------------------------------------------------------------------------

class AspiTransport : public DeviceOnPath {
protected:
    void SetUp() override { Start(Path::Aspi); }

    void UseManager(bool completeLater)
    {
        sim::AspiSettings settings = devicetest::WorkingManager();
        settings.completeLater = completeLater;
        system.SetAspiManager(settings);
    }
};

class AspiRequest : public DeviceOnPath {};

TEST_F(AspiRequest, BlockCarriesAddressDirectionBufferAndCommand)
{
    sim::DriveSetup setup = devicetest::ReadyDrive();
    setup.addressKind = sim::AddressKind::Given;
    setup.address = platform::ScsiAddress{1, 0, 3, 0};
    Start(Path::Aspi, setup);

    const Cdb inquiry = devicetest::InquiryCdb(96);
    ASSERT_TRUE(Execute(inquiry, DataDirection::In, 96));
    const platform::SRB_ExecSCSICmd& request = system.lastExecute;
    EXPECT_EQ(request.SRB_Cmd, platform::SC_EXEC_SCSI_CMD);
    EXPECT_EQ(request.SRB_HaId, 1);
    EXPECT_EQ(request.SRB_Target, 3);
    EXPECT_EQ(request.SRB_Lun, 0);
    EXPECT_EQ(request.SRB_Flags, platform::SRB_DIR_IN | platform::SRB_EVENT_NOTIFY);
    EXPECT_NE(Copy(request.SRB_PostProc), nullptr);
    EXPECT_EQ(Copy(request.SRB_BufLen), 96u);
    EXPECT_EQ(Copy(request.SRB_BufPointer), device->InputBuffer());
    EXPECT_EQ(request.SRB_SenseLen, 14);
    EXPECT_EQ(request.SRB_CDBLen, 12);
    EXPECT_EQ(0, std::memcmp(request.CDBByte, inquiry.bytes, sizeof inquiry.bytes));
    const uint8_t zeros[4] = {};
    EXPECT_EQ(0, std::memcmp(request.CDBByte + 12, zeros, sizeof zeros));
    EXPECT_EQ(system.openEventCount(), 0);  // each command's event is closed again

    Execute(devicetest::WriteBufferCdb(16), DataDirection::Out, 16);
    EXPECT_EQ(system.lastExecute.SRB_Flags, platform::SRB_DIR_OUT | platform::SRB_EVENT_NOTIFY);
    EXPECT_EQ(Copy(system.lastExecute.SRB_BufPointer), device->OutputBuffer());
    ASSERT_TRUE(Execute(devicetest::TestUnitReadyCdb(), DataDirection::None, 0));
    EXPECT_EQ(system.lastExecute.SRB_Flags, platform::SRB_EVENT_NOTIFY);
    EXPECT_EQ(system.executeCount, 3);
    EXPECT_EQ(system.passThroughCount, 0);
}

TEST_F(AspiTransport, TransferredIsTheRequestedLength)
{
    ASSERT_TRUE(Execute(devicetest::InquiryCdb(36), DataDirection::In, 96));
    EXPECT_EQ(Record().lastTransferred, 96u);
}

TEST_F(AspiTransport, ManagerThatCountsTheResidualTellsTheBytesMoved)
{
    sim::AspiSettings counting = devicetest::WorkingManager();
    counting.countsResidual = true;
    system.SetAspiManager(counting);
    AtapiDevice counted(system);
    ASSERT_TRUE(counted.SelectDrive(0));
    ASSERT_TRUE(counted.ExecuteCommand(devicetest::InquiryCdb(36).bytes, DataDirection::In, 96));
    EXPECT_EQ(counted.LastCommandRecord().lastTransferred, 36u);
}

TEST_F(AspiTransport, PendingRequestEndsThroughItsEvent)
{
    UseManager(true);
    drive->AddFault(devicetest::NextSlow(*drive, 5.0));
    ASSERT_TRUE(Execute(devicetest::InquiryCdb(96), DataDirection::In, 96));
    EXPECT_DOUBLE_EQ(Record().lastElapsed, 5.0);
    EXPECT_EQ(0, std::memcmp(device->InputBuffer() + 8, "TALVORE ", 8));
    EXPECT_EQ(system.openEventCount(), 0);
}

TEST_F(AspiTransport, WithoutEventTheStatusIsPolled)
{
    system.SetEventCreationFails(true);
    for (bool completeLater : {false, true}) {
        UseManager(completeLater);
        std::memset(device->InputBuffer(), 0, 96);
        ASSERT_TRUE(Execute(devicetest::InquiryCdb(96), DataDirection::In, 96));
        EXPECT_EQ(system.lastExecute.SRB_Flags, platform::SRB_DIR_IN);
        EXPECT_EQ(Copy(system.lastExecute.SRB_PostProc), nullptr);
        EXPECT_EQ(0, std::memcmp(device->InputBuffer() + 8, "TALVORE ", 8));
    }
    drive->AddFault(devicetest::NextSense(*drive, 0x6, 0x28, 0x00));
    EXPECT_FALSE(Execute(devicetest::TestUnitReadyCdb(), DataDirection::None, 0));
    EXPECT_TRUE(device->SenseIs(0x6, 0x28));
}

TEST_F(AspiTransport, CommandsAreRefusedWhenTheManagerDidNotLoad)
{
    struct Failure {
        sim::AspiPresence presence;
        uint8_t supportStatus;
    };
    const Failure failures[] = {
        {sim::AspiPresence::Absent, platform::SS_COMP},
        {sim::AspiPresence::MissingSupportInfo, platform::SS_COMP},
        {sim::AspiPresence::MissingSendCommand, platform::SS_COMP},
        {sim::AspiPresence::Present, platform::SS_NO_ASPI},
        {sim::AspiPresence::Present, platform::SS_ILLEGAL_MODE},
        {sim::AspiPresence::Present, platform::SS_OLD_MANAGER},
        {sim::AspiPresence::Present, platform::SS_ERR},
    };
    const Cdb inquiry = devicetest::InquiryCdb(96);
    for (const Failure& failure : failures) {
        SCOPED_TRACE(testing::Message() << "presence " << int(failure.presence) << " status "
                                        << int(failure.supportStatus));
        sim::AspiSettings settings;
        settings.presence = failure.presence;
        settings.supportStatus = failure.supportStatus;
        system.SetAspiManager(settings);
        AtapiDevice unloaded(system, false);
        device->CopyStateTo(unloaded);
        ASSERT_TRUE(unloaded.SelectDrive(0));
        EXPECT_FALSE(unloaded.ExecuteCommand(inquiry.bytes, DataDirection::In, 96));
        unloaded.EnableErrorRaising();
        try {
            unloaded.ExecuteCommand(inquiry.bytes, DataDirection::In, 96);
            ADD_FAILURE() << "no exception";
        } catch (const ErrCodeException& error) {
            EXPECT_EQ(error.Code(), ErrCodeException::kNotCarriedOut);
        }
    }
    EXPECT_EQ(system.executeCount, 0);
    EXPECT_EQ(Sent(), 0u);
    EXPECT_EQ(system.loadedAspiCount(), 1);  // the working device's own load
}

// --- A manager that keeps a request past its wait ----------------------------------------------

// The wait lasts exactly the limit on the virtual clock, which is not past it: the aborted
// request counts as a failed one, given back by the manager and so sent once more.
TEST_F(AspiTransport, AbortedRequestFailsTheCommand)
{
    sim::AspiSettings holding = devicetest::WorkingManager();
    holding.holdUntilReleased = true;
    system.SetAspiManager(holding);
    EXPECT_FALSE(Execute(devicetest::InquiryCdb(96), DataDirection::In, 96));
    EXPECT_EQ(system.aspiAbortCount(), 1u);
    EXPECT_EQ(system.pendingAspiCount(), 0);
    EXPECT_DOUBLE_EQ(Record().lastElapsed, 108.0);
    EXPECT_EQ(Record().lastStatus, 0);
    EXPECT_EQ(system.openEventCount(), 0);
    EXPECT_EQ(RaisedCode(devicetest::InquiryCdb(96), DataDirection::In, 96), ErrCodeException::kNotCarriedOut);
    EXPECT_EQ(system.executeCount, 3);
    EXPECT_EQ(system.aspiAbortCount(), 3u);

    system.SetAspiManager(devicetest::WorkingManager());
    device->DisableErrorRaising();
    EXPECT_TRUE(Execute(devicetest::InquiryCdb(96), DataDirection::In, 96));
}

// The request is due 25 ms after the wait ran out and the manager cannot take it back: the
// abort's polls every 10 ms see it end on the third.
TEST_F(AspiTransport, RequestFinishingAfterTheAbortIsWaitedFor)
{
    sim::AspiSettings late = devicetest::WorkingManager();
    late.completeLater = true;
    late.honourAborts = false;
    system.SetAspiManager(late);
    drive->AddFault(devicetest::NextSlow(*drive, 108.025));
    EXPECT_FALSE(Execute(devicetest::InquiryCdb(96), DataDirection::In, 96));
    EXPECT_EQ(system.aspiAbortCount(), 1u);  // answered, but the request carries on
    EXPECT_NEAR(Record().lastElapsed, 108.03, 1e-6);
    EXPECT_TRUE(Record().lastTimedOut);
    EXPECT_EQ(system.pendingAspiCount(), 0);
    EXPECT_EQ(system.openEventCount(), 0);

    std::memset(device->InputBuffer(), 0, 96);
    ASSERT_TRUE(Execute(devicetest::InquiryCdb(96), DataDirection::In, 96));
    EXPECT_EQ(0, std::memcmp(device->InputBuffer() + 8, "TALVORE ", 8));
}

TEST_F(AspiTransport, RequestNeverGivenBackRefusesLaterCommandsUntilItEnds)
{
    sim::AspiSettings holding = devicetest::WorkingManager();
    holding.holdUntilReleased = true;
    holding.honourAborts = false;
    system.SetAspiManager(holding);
    EXPECT_FALSE(Execute(devicetest::InquiryCdb(96), DataDirection::In, 96));
    ASSERT_EQ(system.pendingAspiCount(), 1);
    EXPECT_EQ(system.openEventCount(), 1);  // the manager may still signal it
    const LastCommand before = Record();

    system.SetAspiManager(devicetest::WorkingManager());  // a command sent now would succeed
    EXPECT_FALSE(Execute(devicetest::TestUnitReadyCdb(), DataDirection::None, 0));
    EXPECT_EQ(RaisedCode(devicetest::TestUnitReadyCdb(), DataDirection::None, 0), ErrCodeException::kNotCarriedOut);
    EXPECT_EQ(system.executeCount, 1);
    ExpectRecordUnchanged(before);

    EXPECT_EQ(system.FinishPendingAspiRequests(), 1);
    device->DisableErrorRaising();
    EXPECT_TRUE(Execute(devicetest::TestUnitReadyCdb(), DataDirection::None, 0));
    EXPECT_EQ(system.openEventCount(), 0);
    EXPECT_EQ(system.executeCount, 2);
}

TEST_F(AspiTransport, PollingWithoutEventGivesUpAtTheTimeOut)
{
    system.SetEventCreationFails(true);
    sim::AspiSettings holding = devicetest::WorkingManager();
    holding.holdUntilReleased = true;
    system.SetAspiManager(holding);
    device->SetCommandTimeout(1000);
    EXPECT_EQ(RaisedCode(devicetest::InquiryCdb(96), DataDirection::In, 96), ErrCodeException::kTimedOut);
    EXPECT_TRUE(Record().lastTimedOut);
    EXPECT_GE(Record().lastElapsed, 1.0);
    EXPECT_LT(Record().lastElapsed, 1.1);
    EXPECT_EQ(system.aspiAbortCount(), 1u);
    EXPECT_EQ(system.executeCount, 1);
}

// The late completion writes into the request block after the device object is gone, and the
// data the drive moved stay in the input buffer: under the address sanitizer a write into or a
// read from freed memory would end the test.
TEST_F(AspiTransport, DestroyedObjectLeavesAHeldRequestItsMemory)
{
#if defined(__SANITIZE_ADDRESS__)
    __lsan_disable();  // what the manager never gives back is kept on purpose
#endif
    auto late = std::make_unique<AtapiDevice>(system, false);
#if defined(__SANITIZE_ADDRESS__)
    __lsan_enable();
#endif
    device->CopyStateTo(*late);
    ASSERT_TRUE(late->SelectDrive(0));
    sim::AspiSettings holding = devicetest::WorkingManager();
    holding.holdUntilReleased = true;
    holding.honourAborts = false;
    system.SetAspiManager(holding);
    const Cdb inquiry = devicetest::InquiryCdb(96);
    EXPECT_FALSE(late->ExecuteCommand(inquiry.bytes, DataDirection::In, 96));
    ASSERT_EQ(system.pendingAspiCount(), 1);

    late.reset();
    EXPECT_EQ(system.aspiAbortCount(), 2u);  // once at the time-out, once when destroyed
    EXPECT_EQ(system.loadedAspiCount(), 2);  // the manager stays loaded to finish the request
    EXPECT_EQ(system.FinishPendingAspiRequests(), 1);
    EXPECT_EQ(system.pendingAspiCount(), 0);
    EXPECT_EQ(0, std::memcmp(Copy(system.lastExecute.SRB_BufPointer) + 8, "TALVORE ", 8));
}

// The request is due 15 ms after the abort's polls gave up: the destructor's own abort polls
// see it end on their second.
TEST_F(AspiTransport, DestroyedObjectWaitsBrieflyForAHeldRequest)
{
    auto late = std::make_unique<AtapiDevice>(system, false);
    device->CopyStateTo(*late);
    ASSERT_TRUE(late->SelectDrive(0));
    sim::AspiSettings slow = devicetest::WorkingManager();
    slow.completeLater = true;
    slow.honourAborts = false;
    system.SetAspiManager(slow);
    drive->AddFault(devicetest::NextSlow(*drive, 113.015));
    const Cdb inquiry = devicetest::InquiryCdb(96);
    EXPECT_FALSE(late->ExecuteCommand(inquiry.bytes, DataDirection::In, 96));
    ASSERT_EQ(system.pendingAspiCount(), 1);

    late.reset();
    EXPECT_EQ(system.pendingAspiCount(), 0);
    EXPECT_EQ(system.loadedAspiCount(), 1);
    EXPECT_EQ(system.openEventCount(), 0);
}

// The virtual manager itself, on the real clock: its completion arrives after the wait ran out,
// and the abort cannot take the request back, so the device object waits for it.
TEST(AspiLateCompletion, VirtualManagerFinishingAfterTheWaitIsWaitedFor)
{
    ObservedSystem system(sim::ClockMode::Real);
    devicetest::UsePath(system, Path::Aspi);
    sim::VirtualDrive* drive = system.AddDrive(devicetest::ReadyDrive());
    ASSERT_NE(drive, nullptr);
    auto device = std::make_unique<AtapiDevice>(system);
    ASSERT_TRUE(device->SelectDrive(0));
    sim::AspiSettings settings = devicetest::WorkingManager();
    settings.completeLater = true;
    settings.honourAborts = false;
    system.SetAspiManager(settings);

    device->SetCommandTimeout(20);
    drive->AddFault(devicetest::NextSlow(*drive, 0.2));
    const Cdb inquiry = devicetest::InquiryCdb(96);
    EXPECT_FALSE(device->ExecuteCommand(inquiry.bytes, DataDirection::In, 96));
    EXPECT_TRUE(device->LastCommandRecord().lastTimedOut);
    EXPECT_GE(device->LastCommandRecord().lastElapsed, 0.2);  // waited for, not cut short
    EXPECT_EQ(system.aspiAbortCount(), 1u);
    EXPECT_EQ(system.pendingAspiCount(), 0);
    EXPECT_EQ(system.openEventCount(), 0);

    device->SetCommandTimeout(108000);
    EXPECT_TRUE(device->ExecuteCommand(inquiry.bytes, DataDirection::In, 96));
    device.reset();
    EXPECT_EQ(system.loadedAspiCount(), 0);
}

// --- Loading the ASPI manager ----------------------------------------------------------------

struct LoaderRow {
    const char* name;
    sim::AspiPresence presence;
    uint8_t supportStatus;
    const char* text;  // null: no message
    const char* caption;
};

const LoaderRow kLoaderRows[] = {
    {"NotFound", sim::AspiPresence::Absent, platform::SS_COMP, "LoadLibrary:\nWNASPI32.DLL not found.", "Error FS 002"},
    {"NoSupportInfo", sim::AspiPresence::MissingSupportInfo, platform::SS_COMP,
     "GetProcAddress:\nGetASPI32SupportInfo not fount.", "Error FS 003"},
    {"NoSendCommand", sim::AspiPresence::MissingSendCommand, platform::SS_COMP,
     "GetProcAddress:\npfnSendASPI32Command not found.", "Error FS 004"},
    {"NoManager", sim::AspiPresence::Present, platform::SS_NO_ASPI, "Could not find the ASPI manager.",
     "GetASPISupportInfo:"},
    {"RealMode", sim::AspiPresence::Present, platform::SS_ILLEGAL_MODE, "ASPI for Windows does not support real mode.",
     "GetASPISupportInfo:"},
    {"OldManager", sim::AspiPresence::Present, platform::SS_OLD_MANAGER, "Old ASPI manager.", "GetASPISupportInfo:"},
    {"OtherStatus", sim::AspiPresence::Present, platform::SS_ERR, "Error initializing ASPI.", "GetASPISupportInfo:"},
    {"Working", sim::AspiPresence::Present, platform::SS_COMP, nullptr, nullptr},
};

void PrintTo(const LoaderRow& row, std::ostream* out) { *out << row.name; }

class AspiLoading : public ::testing::TestWithParam<LoaderRow> {};

TEST_P(AspiLoading, ShowsItsMessageAndLeavesTheLibraryLoadedOnlyWhenItWorks)
{
    const LoaderRow& row = GetParam();
    ObservedSystem system;
    system.SetPlatformId(sim::VirtualSystem::kPlatformWindows);
    sim::AspiSettings settings;
    settings.presence = row.presence;
    settings.supportStatus = row.supportStatus;
    system.SetAspiManager(settings);

    AtapiDevice device(system, false);  // the transport choice loads the manager
    const bool works = row.text == nullptr;
    const auto messages = system.messages();
    if (works) {
        EXPECT_TRUE(messages.empty());
    } else {
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].text, row.text);
        EXPECT_EQ(messages[0].caption, row.caption);
        EXPECT_EQ(messages[0].icon, platform::MessageIcon::Error);
    }
    EXPECT_EQ(system.loadedAspiCount(), works ? 1 : 0);

    EXPECT_EQ(device.LoadAspi(), works);
    EXPECT_EQ(system.loadedAspiCount(), works ? 1 : 0);
    EXPECT_EQ(system.messages().size(), works ? 0u : 2u);
    device.UnloadAspi();
    EXPECT_EQ(system.loadedAspiCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Rows, AspiLoading, ::testing::ValuesIn(kLoaderRows),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Transport choice ----------------------------------------------------------------------------

TEST(TransportChoice, NtFamilyUsesPassThroughAndLoadsNoManager)
{
    ObservedSystem system;
    devicetest::UsePath(system, Path::PassThrough);
    system.AddDrive(devicetest::ReadyDrive());
    AtapiDevice device(system);
    ASSERT_TRUE(device.SelectDrive(0));
    EXPECT_EQ(system.loadedAspiCount(), 0);
    EXPECT_TRUE(system.messages().empty());
    const Cdb tur = devicetest::TestUnitReadyCdb();
    EXPECT_TRUE(device.ExecuteCommand(tur.bytes, DataDirection::None, 0));
    EXPECT_EQ(system.executeCount, 0);
    EXPECT_GT(system.passThroughCount, 0);
}

TEST(TransportChoice, OtherFamilyUsesAspiAlone)
{
    for (bool versionQueryFails : {false, true}) {
        SCOPED_TRACE(versionQueryFails ? "version query fails" : "other family");
        ObservedSystem system;
        devicetest::UsePath(system, Path::Aspi);
        system.SetVersionQueryFails(versionQueryFails);
        system.AddDrive(devicetest::ReadyDrive());
        AtapiDevice device(system);
        ASSERT_TRUE(device.SelectDrive(0));
        EXPECT_EQ(system.loadedAspiCount(), 1);
        const Cdb tur = devicetest::TestUnitReadyCdb();
        const int executed = system.executeCount;
        EXPECT_TRUE(device.ExecuteCommand(tur.bytes, DataDirection::None, 0));
        EXPECT_EQ(system.executeCount, executed + 1);
        EXPECT_EQ(system.passThroughCount, 0);
        EXPECT_EQ(system.openDriveCount(), 0);
    }
}

TEST(TransportChoice, ErrorRaisingSwitch)
{
    ObservedSystem system;
    AtapiDevice device(system, false);
    EXPECT_FALSE(device.ErrorRaisingEnabled());
    device.EnableErrorRaising();
    EXPECT_TRUE(device.ErrorRaisingEnabled());
    device.DisableErrorRaising();
    EXPECT_FALSE(device.ErrorRaisingEnabled());
}

}  // namespace
