// The virtual drive at the command level: identification, readiness, tray, media events,
// flash identification, refused commands and the trace.

#include <gtest/gtest.h>

#include <cstring>

#include "DriveHost.h"
#include "sim/VirtualDrive.h"

namespace {

using namespace simtest;
using sim::DriveConfig;
using sim::VirtualDrive;

DriveConfig WithDisc(bool disc, bool trayOpen = false)
{
    DriveConfig config;
    config.discPresent = disc;
    config.trayOpen = trayOpen;
    return config;
}

// --- INQUIRY ---------------------------------------------------------------------------------

TEST(VirtualDriveInquiry, AnswersTheStandardIdentification)
{
    VirtualDrive drive;
    uint8_t data[96];
    std::memset(data, 0xEE, sizeof data);
    const auto reply = Send(drive, Block({0x12, 0x00, 0x00, 0x00, 96}), DataDirection::In, data, 96);

    EXPECT_EQ(Outcome(reply), "good");
    EXPECT_EQ(reply.transferred, 96u);
    EXPECT_EQ(data[0], 0x05);  // CD/DVD device
    EXPECT_EQ(data[1], 0x80);  // removable
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data + 8), 8), "TALVORE ");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data + 16), 16), "DVDRW KRX-407T  ");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data + 32), 4), "RN05");
    for (int i = 36; i < 96; ++i) EXPECT_EQ(data[i], 0) << "byte " << i;
}

TEST(VirtualDriveInquiry, CarriesTheConfiguredTexts)
{
    DriveConfig config;
    std::memcpy(config.vendor, "OTHERCO ", 8);
    std::memcpy(config.product, "BD-ROM XY-1     ", 16);
    std::memcpy(config.revision, "1.02", 4);
    for (int i = 0; i < 16; ++i) config.vendorSpecific[i] = static_cast<uint8_t>('a' + i);
    VirtualDrive drive(config);
    uint8_t data[96] = {};
    Send(drive, Block({0x12, 0x00, 0x00, 0x00, 96}), DataDirection::In, data, 96);

    EXPECT_EQ(std::string(reinterpret_cast<char*>(data + 8), 8), "OTHERCO ");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data + 16), 16), "BD-ROM XY-1     ");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data + 32), 4), "1.02");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data + 36), 16), "abcdefghijklmnop");
    EXPECT_STREQ(drive.revision(), "1.02");
}

TEST(VirtualDriveInquiry, MovesNoMoreThanAllocationAndHostBuffer)
{
    VirtualDrive drive;
    uint8_t data[255] = {};
    auto moved = [&](uint8_t allocation, uint32_t hostLength) {
        return Send(drive, Block({0x12, 0, 0, 0, allocation}), DataDirection::In, data, hostLength).transferred;
    };
    EXPECT_EQ(moved(36, 255), 36u);
    EXPECT_EQ(moved(255, 255), 96u);
    EXPECT_EQ(moved(96, 20), 20u);
    EXPECT_EQ(moved(0, 96), 0u);
}

TEST(VirtualDriveInquiry, RefusesUnknownVitalProductDataPagesAndCommandSupportData)
{
    VirtualDrive drive;
    uint8_t data[96] = {};
    EXPECT_EQ(Outcome(Send(drive, Block({0x12, 0x01, 0x81, 0, 96}), DataDirection::In, data, 96)), "sense 5/24/00");
    EXPECT_EQ(Outcome(Send(drive, Block({0x12, 0x02, 0x00, 0, 96}), DataDirection::In, data, 96)), "sense 5/24/00");
}

// --- Readiness -------------------------------------------------------------------------------

TEST(VirtualDriveReadiness, ReportsReadyNoMediumAndOpenTray)
{
    VirtualDrive withDisc(WithDisc(true));
    VirtualDrive empty(WithDisc(false));
    VirtualDrive open(WithDisc(false, true));
    EXPECT_EQ(TestUnitReady(withDisc), "good");
    EXPECT_EQ(TestUnitReady(empty), "sense 2/3A/01");
    EXPECT_EQ(TestUnitReady(open), "sense 2/3A/02");
}

TEST(VirtualDriveReadiness, LoadGivesUnitAttentionOnceThenBecomingReadyForThePolls)
{
    DriveConfig config = WithDisc(true, true);
    config.becomingReadyPolls = 2;
    VirtualDrive drive(config);
    EXPECT_EQ(Outcome(Send(drive, Block({0x1B, 0, 0, 0, 0x03}))), "good");
    EXPECT_EQ(TestUnitReady(drive), "sense 6/28/00");
    EXPECT_EQ(TestUnitReady(drive), "sense 2/04/01");
    EXPECT_EQ(TestUnitReady(drive), "sense 2/04/01");
    EXPECT_EQ(TestUnitReady(drive), "good");
    EXPECT_EQ(TestUnitReady(drive), "good");
}

TEST(VirtualDriveReadiness, ResetGivesPowerOnAttentionThenBecomingReady)
{
    VirtualDrive drive(WithDisc(false));
    drive.Reset();
    EXPECT_EQ(TestUnitReady(drive), "sense 6/29/00");
    for (uint32_t i = 0; i < sim::kDefaultBecomingReadyPolls; ++i) {
        EXPECT_EQ(TestUnitReady(drive), "sense 2/04/01");
    }
    EXPECT_EQ(TestUnitReady(drive), "sense 2/3A/01");
}

TEST(VirtualDriveReadiness, UnitAttentionIsNotTakenByInquiryOrMediaEvents)
{
    VirtualDrive drive(WithDisc(true));
    drive.Reset();
    uint8_t data[96] = {};
    EXPECT_EQ(Outcome(Send(drive, Block({0x12, 0, 0, 0, 96}), DataDirection::In, data, 96)), "good");
    EXPECT_EQ(Outcome(Send(drive, Block({0x4A, 0x01, 0, 0, 0x10, 0, 0, 0, 8}), DataDirection::In, data, 8)), "good");
    EXPECT_EQ(TestUnitReady(drive), "sense 6/29/00");
}

TEST(VirtualDriveReadiness, UnitAttentionStopsTheCommandThatReportsIt)
{
    VirtualDrive drive(WithDisc(true));
    drive.Reset();
    EXPECT_EQ(Outcome(Send(drive, Block({0x1B, 0, 0, 0, 0x02}))), "sense 6/29/00");
    EXPECT_FALSE(drive.trayOpen());
    EXPECT_EQ(Outcome(Send(drive, Block({0x1B, 0, 0, 0, 0x02}))), "good");
    EXPECT_TRUE(drive.trayOpen());
}

// --- Tray ------------------------------------------------------------------------------------

TEST(VirtualDriveTray, EjectOpensAndTheDiscStaysUntilTakenAway)
{
    VirtualDrive drive(WithDisc(true));
    EXPECT_EQ(Outcome(Send(drive, Block({0x1B, 0, 0, 0, 0x02}))), "good");
    EXPECT_TRUE(drive.trayOpen());
    EXPECT_TRUE(drive.discPresent());
    EXPECT_EQ(TestUnitReady(drive), "sense 2/3A/02");

    Send(drive, Block({0x1B, 0, 0, 0, 0x03}));
    EXPECT_FALSE(drive.trayOpen());
    EXPECT_EQ(PollUntilSettled(drive), "good");  // the disc came back in with the tray
}

TEST(VirtualDriveTray, TakingTheDiscAwayLeavesAnEmptyDriveAfterLoad)
{
    VirtualDrive drive(WithDisc(true));
    EXPECT_FALSE(drive.TakeDiscAway());  // closed tray: nobody can reach the disc
    Send(drive, Block({0x1B, 0, 0, 0, 0x02}));
    EXPECT_TRUE(drive.TakeDiscAway());
    EXPECT_FALSE(drive.TakeDiscAway());
    Send(drive, Block({0x1B, 0, 0, 0, 0x03}));
    EXPECT_EQ(TestUnitReady(drive), "sense 6/28/00");
    EXPECT_EQ(PollUntilSettled(drive), "sense 2/3A/01");
}

TEST(VirtualDriveTray, InsertingADiscNeedsAnOpenEmptyTray)
{
    VirtualDrive drive(WithDisc(false));
    EXPECT_FALSE(drive.InsertDisc());
    Send(drive, Block({0x1B, 0, 0, 0, 0x02}));
    EXPECT_TRUE(drive.InsertDisc());
    EXPECT_FALSE(drive.InsertDisc());
    Send(drive, Block({0x1B, 0, 0, 0, 0x03}));
    EXPECT_EQ(PollUntilSettled(drive), "good");
}

TEST(VirtualDriveTray, LoadingAClosedTrayChangesNothing)
{
    VirtualDrive drive(WithDisc(true));
    EXPECT_EQ(Outcome(Send(drive, Block({0x1B, 0, 0, 0, 0x03}))), "good");
    EXPECT_EQ(TestUnitReady(drive), "good");
}

TEST(VirtualDriveTray, StopAndStartAreAcceptedOtherValuesRefused)
{
    VirtualDrive drive(WithDisc(false));
    EXPECT_EQ(Outcome(Send(drive, Block({0x1B, 0, 0, 0, 0x00}))), "good");
    EXPECT_EQ(Outcome(Send(drive, Block({0x1B, 0, 0, 0, 0x01}))), "good");
    EXPECT_EQ(Outcome(Send(drive, Block({0x1B, 0, 0, 0, 0x43}))), "sense 5/24/00");
    EXPECT_FALSE(drive.trayOpen());
}

// --- GET EVENT STATUS NOTIFICATION -----------------------------------------------------------

struct MediaStatus {
    std::string outcome;
    uint8_t bytes[8];
    uint32_t transferred;
};

MediaStatus AskMediaStatus(VirtualDrive& drive, uint8_t classes = 0x10, uint8_t allocation = 8)
{
    MediaStatus status{};
    std::memset(status.bytes, 0xEE, sizeof status.bytes);
    const auto reply = Send(drive, Block({0x4A, 0x01, 0, 0, classes, 0, 0, 0, allocation}), DataDirection::In,
                            status.bytes, 8);
    status.outcome = Outcome(reply);
    status.transferred = reply.transferred;
    return status;
}

TEST(VirtualDriveMediaEvents, TrayBitAndMediaPresentBit)
{
    VirtualDrive drive(WithDisc(true));
    MediaStatus closed = AskMediaStatus(drive);
    EXPECT_EQ(closed.outcome, "good");
    EXPECT_EQ(closed.transferred, 8u);
    EXPECT_EQ(closed.bytes[0], 0x00);
    EXPECT_EQ(closed.bytes[1], 0x06);  // event data length
    EXPECT_EQ(closed.bytes[2], 0x04);  // media class
    EXPECT_EQ(closed.bytes[3], 0x16);  // supported classes: operational change, power, media
    EXPECT_EQ(closed.bytes[5], 0x02);  // closed, media present

    Send(drive, Block({0x1B, 0, 0, 0, 0x02}));
    EXPECT_EQ(AskMediaStatus(drive).bytes[5], 0x01);  // open: the disc on the tray is out of reach
    drive.TakeDiscAway();
    EXPECT_EQ(AskMediaStatus(drive).bytes[5], 0x01);  // open, empty
}

TEST(VirtualDriveMediaEvents, NewMediaEventIsReportedOnce)
{
    VirtualDrive drive(WithDisc(true, true));
    Send(drive, Block({0x1B, 0, 0, 0, 0x03}));
    EXPECT_EQ(AskMediaStatus(drive).bytes[4], 0x02);  // new media
    EXPECT_EQ(AskMediaStatus(drive).bytes[4], 0x00);  // no change
}

TEST(VirtualDriveMediaEvents, RepliesUpToTheAllocation)
{
    VirtualDrive drive(WithDisc(false));
    MediaStatus status = AskMediaStatus(drive, 0x10, 4);
    EXPECT_EQ(status.transferred, 4u);
    EXPECT_EQ(status.bytes[4], 0xEE);
}

TEST(VirtualDriveMediaEvents, OtherClassesGetNoEventAvailable)
{
    VirtualDrive drive(WithDisc(false));
    MediaStatus status = AskMediaStatus(drive, 0x08);
    EXPECT_EQ(status.outcome, "good");
    EXPECT_EQ(status.transferred, 4u);
    EXPECT_EQ(status.bytes[2], 0x80);
}

TEST(VirtualDriveMediaEvents, AsynchronousRequestIsRefused)
{
    VirtualDrive drive(WithDisc(false));
    uint8_t data[8] = {};
    EXPECT_EQ(Outcome(Send(drive, Block({0x4A, 0x00, 0, 0, 0x10, 0, 0, 0, 8}), DataDirection::In, data, 8)),
              "sense 5/24/00");
}

// --- Flash identification --------------------------------------------------------------------

TEST(VirtualDriveFlashId, AnswersTheConfigured128Bytes)
{
    DriveConfig config;
    std::memset(config.flashId, 0, sizeof config.flashId);
    const uint8_t key[4] = {0x37, 0x8C, 0x00, 0x01};
    std::memcpy(config.flashId, key, 4);
    config.flashId[127] = 0x99;
    VirtualDrive drive(config);
    uint8_t data[128];
    std::memset(data, 0xEE, sizeof data);
    const auto reply = Send(drive, Block({0xDF, 0x11}), DataDirection::In, data, 128);
    EXPECT_EQ(Outcome(reply), "good");
    EXPECT_EQ(reply.transferred, 128u);
    EXPECT_EQ(0, std::memcmp(data, config.flashId, 128));
}

TEST(VirtualDriveFlashId, CanAnswerAllZeros)
{
    DriveConfig config;
    std::memset(config.flashId, 0, sizeof config.flashId);
    VirtualDrive drive(config);
    uint8_t data[128];
    std::memset(data, 0xEE, sizeof data);
    Send(drive, Block({0xDF, 0x11}), DataDirection::In, data, 128);
    for (uint8_t byte : data) EXPECT_EQ(byte, 0);
}

TEST(VirtualDriveFlashId, DefaultChipIsAProfileTableKey)
{
    VirtualDrive drive;
    uint8_t data[128] = {};
    Send(drive, Block({0xDF, 0x11}), DataDirection::In, data, 128);
    EXPECT_EQ(data[0], 0xBF);
    EXPECT_EQ(data[1], 0xD6);
    EXPECT_EQ(data[2], 0x00);
    EXPECT_EQ(data[3], 0x01);
}

TEST(VirtualDriveFlashId, OtherVendorSubcommandIsRefused)
{
    VirtualDrive drive;
    uint8_t data[128] = {};
    EXPECT_EQ(Outcome(Send(drive, Block({0xDF, 0x12}), DataDirection::In, data, 128)), "sense 5/24/00");
}

// --- Refused commands ------------------------------------------------------------------------

TEST(VirtualDriveRefusal, UnknownOperationIsAnIllegalRequest)
{
    VirtualDrive drive(WithDisc(true));
    uint8_t data[2048] = {};
    EXPECT_EQ(Outcome(Send(drive, Block({0x08, 0, 0, 0x10, 1}), DataDirection::In, data, 2048)), "sense 5/20/00");
    EXPECT_EQ(Outcome(Send(drive, Block({0xDE}))), "sense 5/20/00");
    EXPECT_EQ(Outcome(Send(drive, Block({0xE7}), DataDirection::In, data, 18)), "sense 5/20/00");
}

TEST(VirtualDriveRefusal, SenseIsInFixedFormat)
{
    VirtualDrive drive;
    const auto reply = Send(drive, Block({0xDE}));
    ASSERT_TRUE(reply.hasSense);
    EXPECT_EQ(reply.sense[0], 0x70);
    EXPECT_EQ(reply.sense[2], 0x05);
    EXPECT_EQ(reply.sense[7], 10);
    EXPECT_EQ(reply.sense[12], 0x20);
    EXPECT_EQ(reply.sense[13], 0x00);
}

// --- Trace -----------------------------------------------------------------------------------

TEST(VirtualDriveTrace, OneLinePerCommandInTheDrivesOrder)
{
    VirtualDrive drive(WithDisc(false));
    uint8_t data[96] = {};
    Send(drive, Block({0x00}));
    Send(drive, Block({0x12, 0, 0, 0, 96}), DataDirection::In, data, 96);
    Send(drive, Block({0x3C, 0x01, 0x02, 0, 0, 0, 0, 0, 16}), DataDirection::In, data, 16);
    SendOut(drive, WriteBufferCdb(0x0FC000, 16, 0x00), std::vector<uint8_t>(16, 1));

    const std::vector<std::string> expected = {
        "000000000000000000000000 none 0 sense 2/3A/01",
        "120000006000000000000000 in 96 good",
        "3C0102000000000010000000 in 16 sense 5/24/00",
        "3B05010FC000000010000000 out 16 good",
    };
    EXPECT_EQ(drive.trace(), expected);
    EXPECT_EQ(drive.commandCount(), 4u);
}

TEST(VirtualDriveTrace, CanBeTurnedOffAndCleared)
{
    VirtualDrive drive;
    Send(drive, Block({0x00}));
    drive.ClearTrace();
    EXPECT_TRUE(drive.trace().empty());
    drive.SetTraceEnabled(false);
    Send(drive, Block({0x00}));
    EXPECT_TRUE(drive.trace().empty());
    EXPECT_EQ(drive.commandCount(), 2u);
}

// --- Timing ----------------------------------------------------------------------------------

DriveConfig Realistic()
{
    DriveConfig config = WithDisc(true);
    config.timing = sim::DriveTiming::Realistic();
    return config;
}

TEST(VirtualDriveTiming, ModelledSecondsAddUpEveryCommandsDuration)
{
    VirtualDrive drive(Realistic());
    EXPECT_EQ(drive.modelledSeconds(), 0.0);
    uint8_t data[96] = {};
    const auto ready = Send(drive, Block({0x00}));
    const auto inquiry = Send(drive, Block({0x12, 0, 0, 0, 96}), DataDirection::In, data, 96);
    EXPECT_DOUBLE_EQ(ready.seconds, 0.001);
    EXPECT_DOUBLE_EQ(inquiry.seconds, 0.001 + 96 / 8e6);
    EXPECT_DOUBLE_EQ(drive.modelledSeconds(), ready.seconds + inquiry.seconds);
}

TEST(VirtualDriveTiming, CommitAndCutOffCommandCountWithTheTimeTheyWereAnswered)
{
    VirtualDrive drive(Realistic());
    sim::Fault slow;
    slow.kind = sim::FaultKind::Slow;
    slow.trigger = sim::FaultTrigger::Opcode;
    slow.opcode = 0x00;
    slow.seconds = 200.0;
    drive.AddFault(slow);
    sim::CommandRequest cutOff{};
    cutOff.direction = DataDirection::None;
    cutOff.timeoutSeconds = 108.0;
    EXPECT_FALSE(drive.Execute(cutOff).delivered);
    EXPECT_DOUBLE_EQ(drive.modelledSeconds(), 108.0);

    const auto commit = SendOut(drive, WriteBufferCdb(0, 0, 0x80), std::vector<uint8_t>(16, 0));
    EXPECT_EQ(Outcome(commit), "good");
    EXPECT_DOUBLE_EQ(commit.seconds, 0.001 + 16 / 8e6 + 12.0);
    EXPECT_DOUBLE_EQ(drive.modelledSeconds(), 108.0 + commit.seconds);
}

TEST(VirtualDriveTiming, InstantDriveModelsNoTime)
{
    VirtualDrive drive(WithDisc(true));
    Send(drive, Block({0x00}));
    SendOut(drive, WriteBufferCdb(0, 16, 0x00), std::vector<uint8_t>(16, 1));
    EXPECT_EQ(drive.commandCount(), 2u);
    EXPECT_EQ(drive.modelledSeconds(), 0.0);
}

}  // namespace
