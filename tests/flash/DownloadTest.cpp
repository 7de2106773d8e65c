// The firmware download against the virtual drive on the virtual clock: the command sequence
// the drive receives, the passes of write and read-back, the commit and its pause, the
// preparation steps whose failures are ignored, and the profile step whose failures, or a chip
// other than the one seen at discovery, end the download before an image byte is sent.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "DownloadTrace.h"
#include "device/AtapiDevice.h"
#include "device/ErrCodeException.h"
#include "sim/VirtualSystem.h"
#include "tests/support/AllocationCounter.h"

namespace {

using namespace downloadtest;
using sim::Fault;
using sim::FaultKind;
using sim::FaultTrigger;
using sim::FlashState;

// Keeps what the trace cannot show: the 16 bytes that went with the commit, and how often the
// program gave the processor to other threads. It reads no clock, so the commands keep their
// modelled durations.
class RecordingSystem : public sim::VirtualSystem {
public:
    void YieldToOtherThreads() override
    {
        ++yields;
        VirtualSystem::YieldToOtherThreads();
    }

    void Sleep(uint32_t milliseconds) override
    {
        ++sleeps;
        longestSleepMs = std::max(longestSleepMs, milliseconds);
        VirtualSystem::Sleep(milliseconds);
    }

    bool SendPassThrough(platform::DriveHandle handle, platform::PassThroughRequest& request) override
    {
        const bool commit = request.cdb[0] == 0x3B && (request.cdb[9] == 0x80 || request.cdb[9] == 0xA0);
        if (commit && request.data != nullptr && request.length == sizeof commitBytes) {
            std::memcpy(commitBytes, request.data, sizeof commitBytes);
        }
        return VirtualSystem::SendPassThrough(handle, request);
    }

    double Now() { return double(QueryCounter()) / kCounterFrequency; }

    uint8_t commitBytes[16] = {};
    int yields = 0;
    int sleeps = 0;
    uint32_t longestSleepMs = 0;
};

constexpr uint8_t kChipWithProfile[4] = {0xBF, 0xD6, 0x00, 0x02};
const std::string kProfileWrite = "3B05010000000002BC7F0000 out 700";

// The pump of these tests counts its calls and keeps the virtual time of the first and last.
RecordingSystem* pumpClock = nullptr;
int pumpCalls = 0;
double firstPumpAt = 0.0;
double lastPumpAt = 0.0;
void CountingPump()
{
    if (pumpClock != nullptr) {
        lastPumpAt = pumpClock->Now();
        if (pumpCalls == 0) firstPumpAt = lastPumpAt;
    }
    ++pumpCalls;
}

class Download : public ::testing::Test {
protected:
    void SetUp() override
    {
        pumpClock = &system;
        pumpCalls = 0;
    }
    void TearDown() override
    {
        AtapiDevice::SetMessagePump(nullptr);
        pumpClock = nullptr;
    }

    // Adds the drive, builds the device object (which scans) and selects the drive; the trace
    // then holds only what the download sends.
    void Open(const uint8_t (&chip)[4] = kChipWithProfile)
    {
        AddDrive(chip);
        ScanAndSelect();
    }

    void AddDrive(const uint8_t (&chip)[4])
    {
        sim::DriveConfig config;
        std::memcpy(config.flashId, chip, sizeof chip);
        drive = system.AddDrive(sim::DriveSetup{config});
        ASSERT_NE(drive, nullptr);
    }

    void ScanAndSelect()
    {
        ASSERT_NE(drive, nullptr);
        device = std::make_unique<AtapiDevice>(system);
        ASSERT_TRUE(device->SelectDrive(0));
        for (const TracedCommand& command : Trace()) ++sentBefore[command.opcode()];
        drive->ClearTrace();
        commandsBefore = drive->commandCount();
    }

    // A fault on the position-th command of the download (1-based).
    void FaultAt(uint32_t position, FaultKind kind, uint32_t repeat = 1)
    {
        Fault fault;
        fault.kind = kind;
        fault.trigger = FaultTrigger::Sequence;
        fault.number = commandsBefore + position;
        fault.repeat = repeat;
        fault.senseKey = 3;
        fault.asc = 0x0C;
        fault.seconds = 200.0;
        fault.replyOffset = 4321;
        ASSERT_TRUE(drive->AddFault(fault));
    }

    void FaultOnOpcode(uint8_t opcode, uint32_t number, FaultKind kind, uint32_t repeat = 1)
    {
        Fault fault;
        fault.kind = kind;
        fault.trigger = FaultTrigger::Opcode;
        fault.opcode = opcode;
        fault.number = sentBefore[opcode] + number;
        fault.repeat = repeat;
        fault.senseKey = 3;
        fault.asc = 0x0C;
        fault.seconds = 200.0;
        fault.replyOffset = 4321;
        fault.bytesMoved = kBlockSize / 2;
        ASSERT_TRUE(drive->AddFault(fault));
    }

    // The download's identification reply arrives with the byte at offset inverted.
    void ChangeIdentificationByte(uint32_t offset)
    {
        Fault fault;
        fault.kind = FaultKind::CorruptReply;
        fault.trigger = FaultTrigger::Opcode;
        fault.opcode = 0xDF;
        fault.number = sentBefore[0xDF] + 1;
        fault.replyOffset = offset;
        ASSERT_TRUE(drive->AddFault(fault));
    }

    bool Run(const std::vector<uint8_t>& image, uint8_t bootCode = 0)
    {
        return device->DownloadFirmware(image.data(), int32_t(image.size()), bootCode);
    }

    std::vector<TracedCommand> Trace() const { return ParseTrace(drive->trace()); }

    // Requests after the preparation: TEST UNIT READY polls, then the stop.
    static size_t SkipPreparation(const std::vector<TracedCommand>& commands)
    {
        size_t i = 0;
        while (i < commands.size() && commands[i].opcode() == 0x00) ++i;
        return i + 1;
    }

    bool DriveHoldsGoodImage(const std::vector<uint8_t>& image) const
    {
        return drive->flashState() == FlashState::Good && std::memcmp(drive->flash(), image.data(), kImageSize) == 0 &&
               std::string(drive->revision()) == "RN08";
    }

    RecordingSystem system;
    sim::VirtualDrive* drive = nullptr;
    std::unique_ptr<AtapiDevice> device;
    uint32_t commandsBefore = 0;
    uint32_t sentBefore[256] = {};  // per opcode, while the device object scanned
    const std::vector<uint8_t> image = MakeImage(kImageSize);
};

// ---- The sequence the drive receives -----------------------------------------------------

TEST_F(Download, SendsPreparationProfileTwoPassesOfBlocksAndTheCommit)
{
    Open();
    ASSERT_TRUE(Run(image));
    const std::vector<std::string> lines = drive->trace();
    const std::vector<TracedCommand> commands = Trace();

    size_t i = 0;
    while (commands[i].opcode() == 0x00) ASSERT_EQ(lines[i++].substr(0, 24), std::string(24, '0'));
    EXPECT_GE(i, 2u) << "the wait polls, then one more TEST UNIT READY";
    EXPECT_EQ(lines[i++], "1B0000000000000000000000 none 0 good");
    EXPECT_EQ(lines[i++], "DF1100000000000000000000 in 128 good");
    EXPECT_EQ(lines[i++], kProfileWrite + " good");
    for (int block = 0; block < kImageBlocks; ++block, ++i) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "3B0501%06X004000000000 out 16384 good", block * kBlockSize);
        ASSERT_EQ(lines[i], expected) << "block " << block;
    }
    for (int block = 0; block < kImageBlocks; ++block, ++i) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "3C0101%06X004000000000 in 16384 good", block * kBlockSize);
        ASSERT_EQ(lines[i], expected) << "block " << block;
    }
    EXPECT_EQ(lines[i++], "3B0501000000000000800000 out 16 good");
    EXPECT_EQ(i, lines.size()) << "nothing follows the commit";
}

TEST_F(Download, LeavesTheDriveWithTheGoodImageAndTheNewRevision)
{
    Open();
    ASSERT_TRUE(Run(image));
    EXPECT_TRUE(DriveHoldsGoodImage(image));
    EXPECT_TRUE(drive->lastCommit().profileMatched);
    EXPECT_EQ(drive->lastCommit().control, 0x80);
    EXPECT_FALSE(device->ErrorRaisingEnabled()) << "the flag is cleared on success";
}

TEST_F(Download, BootCodeSwitchGivesCommitControlA0)
{
    Open();
    ASSERT_TRUE(Run(image, 1));
    EXPECT_EQ(drive->trace().back(), "3B0501000000000000A00000 out 16 good");
    EXPECT_EQ(drive->lastCommit().control, 0xA0);
    EXPECT_TRUE(DriveHoldsGoodImage(image));
}

TEST_F(Download, CommitCarriesTheFirst16BytesOfTheLastBlock)
{
    Open();
    ASSERT_TRUE(Run(image));
    EXPECT_EQ(std::memcmp(system.commitBytes, image.data() + 63 * kBlockSize, 16), 0);
}

TEST_F(Download, PausesOneSecondBeforeTheCommitWhilePumpingMessages)
{
    Open();
    AtapiDevice::SetMessagePump(&CountingPump);
    const double start = system.Now();
    ASSERT_TRUE(Run(image));
    const double downloadSeconds = system.Now() - start;
    const double pumping = lastPumpAt - firstPumpAt;
    EXPECT_GT(pumping, 0.99);
    EXPECT_LT(pumping, 1.01);
    EXPECT_GE(downloadSeconds, 1.0) << "the commands themselves take no time here";
    EXPECT_LT(downloadSeconds, 1.05);
    EXPECT_GE(pumpCalls, 100) << "messages are let through between the slices of the pause";
}

// Sixteen workers pausing at once must not take the processor from those still sending their
// image: the pause sleeps in short slices and never spins.
TEST_F(Download, PauseSleepsInShortSlicesAndNeverSpins)
{
    Open();
    AtapiDevice::SetMessagePump(&CountingPump);
    ASSERT_TRUE(Run(image));
    EXPECT_EQ(system.yields, 0);
    EXPECT_LE(system.longestSleepMs, 10u);
    EXPECT_GE(system.sleeps, 100);
    EXPECT_LE(system.sleeps, pumpCalls + 20) << "the preparation's few polls aside, one pump a slice";
}

TEST_F(Download, CommitRunsUnderThe108SecondLimitWhateverWasSetBefore)
{
    Open();
    device->SetCommandTimeout(5000);
    Fault slowCommit;
    slowCommit.kind = FaultKind::Slow;
    slowCommit.trigger = FaultTrigger::Opcode;
    slowCommit.opcode = 0x3B;
    slowCommit.number = 1 + kImageBlocks + 1;  // the profile, 64 blocks, then the commit
    slowCommit.seconds = 100.0;
    slowCommit.number += sentBefore[0x3B];
    ASSERT_TRUE(drive->AddFault(slowCommit));
    ASSERT_TRUE(Run(image));
    EXPECT_EQ(drive->trace().back(), "3B0501000000000000800000 out 16 good");
    EXPECT_TRUE(DriveHoldsGoodImage(image));
}

TEST_F(Download, WholeDownloadAllocatesNothing)
{
    Open();
    drive->SetTraceEnabled(false);
    const uint64_t before = testsupport::ProgramAllocationCount();
    ASSERT_TRUE(Run(image));
    EXPECT_EQ(testsupport::ProgramAllocationCount() - before, 0u);
    EXPECT_EQ(drive->flashState(), FlashState::Good);
}

// ---- Image lengths -----------------------------------------------------------------------

TEST_F(Download, LengthBelowOneBlockSendsNoBlockAndReturnsFalse)
{
    Open();
    const std::vector<uint8_t> shortImage = MakeImage(10000);
    EXPECT_FALSE(Run(shortImage));
    const std::vector<TracedCommand> commands = Trace();
    EXPECT_EQ(commands.back().opcode(), 0x3B);
    EXPECT_EQ(drive->trace().back(), kProfileWrite + " good") << "the profile is the last command";
    EXPECT_EQ(CountIf(commands, &TracedCommand::isImageWrite), 0);
    EXPECT_EQ(CountIf(commands, &TracedCommand::isImageRead), 0);
    EXPECT_EQ(FindCommit(commands), -1);
    EXPECT_TRUE(device->ErrorRaisingEnabled());
    EXPECT_EQ(drive->flashState(), FlashState::Untouched);
}

TEST_F(Download, NegativeLengthOrNoImageSendsNoBlock)
{
    Open();
    EXPECT_FALSE(device->DownloadFirmware(image.data(), -16384, 0));
    EXPECT_FALSE(device->DownloadFirmware(nullptr, int32_t(kImageSize), 0));
    const std::vector<TracedCommand> commands = Trace();
    EXPECT_EQ(CountIf(commands, &TracedCommand::isImageWrite), 0);
    EXPECT_EQ(FindCommit(commands), -1);
    EXPECT_EQ(drive->flashState(), FlashState::Untouched);
}

TEST_F(Download, RemainderBelowOneBlockIsNeitherSentNorCompared)
{
    Open();
    std::vector<uint8_t> longer = image;
    longer.resize(kImageSize + 100, 0xEE);
    ASSERT_TRUE(Run(longer));
    const std::vector<TracedCommand> commands = Trace();
    EXPECT_EQ(CountIf(commands, &TracedCommand::isImageWrite), kImageBlocks);
    EXPECT_EQ(CountIf(commands, &TracedCommand::isImageRead), kImageBlocks);
    for (const TracedCommand& command : commands) {
        if (command.opcode() == 0x3B || command.opcode() == 0x3C) {
            EXPECT_LE(command.offset() + command.length, kImageSize);
        }
    }
    EXPECT_NE(FindCommit(commands), -1);
    EXPECT_TRUE(DriveHoldsGoodImage(image));
}

// ---- Passes ------------------------------------------------------------------------------

TEST_F(Download, OneChangedByteOnTheFirstReadBackWritesAllBlocksAgain)
{
    Open();
    FaultOnOpcode(0x3C, 6, FaultKind::CorruptReply);  // block 5 of the first pass
    ASSERT_TRUE(Run(image));
    const std::vector<TracedCommand> commands = Trace();
    EXPECT_EQ(CountIf(commands, &TracedCommand::isImageWrite), 2 * kImageBlocks);
    EXPECT_EQ(CountIf(commands, &TracedCommand::isImageRead), 6 + kImageBlocks);
    // The second pass starts again at block 0, right after the failed read of block 5.
    const size_t firstRead = SkipPreparation(commands) + 2 + kImageBlocks;
    EXPECT_EQ(commands[firstRead + 5].offset(), 5 * kBlockSize);
    EXPECT_TRUE(commands[firstRead + 6].isImageWrite());
    EXPECT_EQ(commands[firstRead + 6].offset(), 0u);
    EXPECT_TRUE(DriveHoldsGoodImage(image));
}

TEST_F(Download, DifferenceOnEveryPassGivesThreePassesThenFalseWithTheFlagSet)
{
    Open();
    FaultOnOpcode(0x3C, 1, FaultKind::CorruptReply, 0);
    EXPECT_FALSE(Run(image));
    const std::vector<TracedCommand> commands = Trace();
    EXPECT_EQ(CountIf(commands, &TracedCommand::isImageWrite), 3 * kImageBlocks);
    EXPECT_EQ(CountIf(commands, &TracedCommand::isImageRead), 3);
    EXPECT_EQ(FindCommit(commands), -1);
    EXPECT_TRUE(device->ErrorRaisingEnabled());
    EXPECT_EQ(drive->flashState(), FlashState::Untouched);
}

TEST_F(Download, DifferenceInTheLastBlockOfTheThirdPassIsNotCommitted)
{
    Open();
    FaultOnOpcode(0x3C, 1, FaultKind::CorruptReply);                 // pass 1, block 0
    FaultOnOpcode(0x3C, 2, FaultKind::CorruptReply);                 // pass 2, block 0
    FaultOnOpcode(0x3C, 2 + kImageBlocks, FaultKind::CorruptReply);  // pass 3, block 63
    EXPECT_FALSE(Run(image));
    const std::vector<TracedCommand> commands = Trace();
    EXPECT_EQ(CountIf(commands, &TracedCommand::isImageRead), 2 + kImageBlocks);
    EXPECT_EQ(FindCommit(commands), -1);
    EXPECT_EQ(drive->flashState(), FlashState::Untouched);
}

// ---- Failures while errors are raised ----------------------------------------------------

TEST_F(Download, FailedBlockWriteRaisesTheSenseKeyAndSendsNoCommit)
{
    Open();
    FaultOnOpcode(0x3B, 10, FaultKind::Sense);  // the profile, then block 8
    try {
        Run(image);
        FAIL() << "the download returned";
    } catch (const ErrCodeException& error) {
        EXPECT_EQ(error.Code(), 3);
    }
    EXPECT_EQ(FindCommit(Trace()), -1);
    EXPECT_EQ(drive->flashState(), FlashState::Untouched);
}

// The transport cuts a command off at its time-out and sends it once more; a read-back that
// never answers ends the download, whichever code the transport raises for it.
TEST_F(Download, ReadBackThatNeverAnswersRaisesAndSendsNoCommit)
{
    Open();
    FaultOnOpcode(0x3C, 40, FaultKind::Slow, 0);
    EXPECT_THROW(Run(image), ErrCodeException);
    EXPECT_EQ(FindCommit(Trace()), -1);
    EXPECT_EQ(drive->flashState(), FlashState::Untouched);
}

TEST_F(Download, CommitWithSenseRaisesTheSenseKeyAndLeavesTheDriveAsItWas)
{
    Open();
    FaultOnOpcode(0x3B, 2 + kImageBlocks, FaultKind::Sense);
    try {
        Run(image);
        FAIL() << "the download returned";
    } catch (const ErrCodeException& error) {
        EXPECT_EQ(error.Code(), 3);
    }
    EXPECT_TRUE(Trace().back().isCommit());
    EXPECT_TRUE(device->ErrorRaisingEnabled());
    EXPECT_EQ(drive->flashState(), FlashState::Untouched);
    EXPECT_EQ(std::string(drive->revision()), "RN05");
}

// A commit whose request failed may have reached the drive: it is never sent a second time.
TEST_F(Download, CommitIsSentOnceEvenWhenItsRequestFails)
{
    Open();
    FaultOnOpcode(0x3B, 2 + kImageBlocks, FaultKind::RequestFails);
    try {
        Run(image);
        FAIL() << "the download returned";
    } catch (const ErrCodeException& error) {
        EXPECT_EQ(error.Code(), ErrCodeException::kNotCarriedOut);
    }
    const std::vector<TracedCommand> commands = Trace();
    EXPECT_EQ(CountIf(commands, &TracedCommand::isCommit), 1);
    EXPECT_EQ(commands.back().outcome, "failed");
    EXPECT_TRUE(device->ErrorRaisingEnabled());
    EXPECT_EQ(drive->flashState(), FlashState::Untouched);
}

// The drive programs its flash but answers after the limit: the program reports a failure
// although the drive is good. Honest, and no damage: the identification read afterwards shows
// the new revision.
TEST_F(Download, CommitAnsweredPastTheTimeOutRaisesEvenThoughTheDriveProgrammed)
{
    Open();
    FaultOnOpcode(0x3B, 2 + kImageBlocks, FaultKind::Slow);
    EXPECT_THROW(Run(image), ErrCodeException);
    const std::vector<TracedCommand> commands = Trace();
    EXPECT_EQ(CountIf(commands, &TracedCommand::isCommit), 1);
    EXPECT_TRUE(commands.back().isCommit());
    EXPECT_TRUE(DriveHoldsGoodImage(image));
}

// ---- Preparation ---------------------------------------------------------------------------

TEST_F(Download, DriveThatStaysNotReadyIsWaitedFor60SecondsAndStillProgrammed)
{
    Open();
    Fault notReady;
    notReady.kind = FaultKind::Sense;
    notReady.trigger = FaultTrigger::Opcode;
    notReady.opcode = 0x00;
    notReady.repeat = 0;
    notReady.senseKey = 2;
    notReady.asc = 0x04;
    notReady.ascq = 0x01;
    notReady.number = sentBefore[0x00] + 1;
    ASSERT_TRUE(drive->AddFault(notReady));
    const double start = system.Now();
    ASSERT_TRUE(Run(image));
    const double downloadSeconds = system.Now() - start;  // the wait and the 1 s pause
    EXPECT_GE(downloadSeconds, 61.0);
    EXPECT_LT(downloadSeconds, 62.0);
    EXPECT_TRUE(DriveHoldsGoodImage(image));
}

TEST_F(Download, RefusedStopIsIgnored)
{
    Open();
    FaultOnOpcode(0x1B, 1, FaultKind::Sense);
    ASSERT_TRUE(Run(image));
    EXPECT_TRUE(DriveHoldsGoodImage(image));
}

// ---- The flash profile ---------------------------------------------------------------------

TEST_F(Download, ChipWithoutProfileStillGetsImageAndCommit)
{
    const uint8_t unknownChip[4] = {0x12, 0x34, 0x56, 0x78};
    Open(unknownChip);
    EXPECT_TRUE(Run(image));
    const std::vector<TracedCommand> commands = Trace();
    const size_t identification = SkipPreparation(commands);
    ASSERT_EQ(commands[identification].opcode(), 0xDF);
    EXPECT_TRUE(commands[identification + 1].isImageWrite()) << "no profile write";
    EXPECT_EQ(CountIf(commands, &TracedCommand::isImageWrite), kImageBlocks);
    EXPECT_NE(FindCommit(commands), -1);
    // The drive took the image without the profile of its chip.
    EXPECT_FALSE(drive->lastCommit().profileMatched);
    EXPECT_EQ(drive->flashState(), FlashState::Damaged);
}

TEST_F(Download, AllZeroIdentificationStillGetsImageAndCommit)
{
    const uint8_t noChip[4] = {0, 0, 0, 0};
    Open(noChip);
    EXPECT_TRUE(Run(image));
    const std::vector<TracedCommand> commands = Trace();
    EXPECT_TRUE(commands[SkipPreparation(commands) + 1].isImageWrite());
    EXPECT_NE(FindCommit(commands), -1);
}

struct ProfileFailure {
    const char* name;
    uint8_t opcode;  // DFh the identification, 3Bh the profile write
    FaultKind kind;
};

void PrintTo(const ProfileFailure& failure, std::ostream* out) { *out << failure.name; }

class ProfileStepFailure : public Download, public ::testing::WithParamInterface<ProfileFailure> {};

// Without the profile the drive would program the image into a chip not prepared for it: the
// download ends before the first image block, with errors still not raised.
TEST_P(ProfileStepFailure, EndsTheDownloadBeforeAnyImageByte)
{
    Open();
    FaultOnOpcode(GetParam().opcode, 1, GetParam().kind);
    EXPECT_FALSE(Run(image));
    const std::vector<TracedCommand> commands = Trace();
    EXPECT_EQ(commands.back().opcode(), GetParam().opcode) << "nothing follows the failed command";
    EXPECT_FALSE(commands.back().good());
    EXPECT_EQ(CountIf(commands, &TracedCommand::isImageWrite), 0);
    EXPECT_EQ(FindCommit(commands), -1);
    EXPECT_FALSE(device->ErrorRaisingEnabled());
    EXPECT_EQ(drive->flashState(), FlashState::Untouched);
}

// clang-format off
const ProfileFailure kProfileFailures[] = {
    {"IdentificationSense", 0xDF, FaultKind::Sense},
    {"IdentificationRequestFails", 0xDF, FaultKind::RequestFails},
    {"IdentificationPastTimeOut", 0xDF, FaultKind::Slow},
    {"IdentificationDriveGone", 0xDF, FaultKind::Disappear},
    {"ProfileWriteSense", 0x3B, FaultKind::Sense},
    {"ProfileWriteRequestFails", 0x3B, FaultKind::RequestFails},
    {"ProfileWritePastTimeOut", 0x3B, FaultKind::Slow},
    {"ProfileWriteDriveGone", 0x3B, FaultKind::Disappear},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Download, ProfileStepFailure, ::testing::ValuesIn(kProfileFailures),
                         [](const auto& info) { return std::string(info.param.name); });

// A manager that reports no count: only the comparison can tell that half of every read-back
// never arrived, and it does, since the reply area never holds the image's bytes beforehand.
TEST_F(Download, HalfReadBacksThatNoCountReportsNeverVerify)
{
    system.SetPlatformId(sim::VirtualSystem::kPlatformWindows);
    sim::AspiSettings manager;
    manager.presence = sim::AspiPresence::Present;
    system.SetAspiManager(manager);
    Open();
    FaultOnOpcode(0x3C, 1, FaultKind::ShortTransfer, 0);
    EXPECT_FALSE(Run(image));
    EXPECT_EQ(CountIf(Trace(), &TracedCommand::isImageRead), 3);
    EXPECT_EQ(FindCommit(Trace()), -1);
    EXPECT_EQ(drive->flashState(), FlashState::Untouched);
}

// ---- The chip named at discovery ---------------------------------------------------------

bool RecordHolds(const AtapiDevice& device, const uint8_t (&chip)[4])
{
    const DriveRecord* record = device.GetDrive(0);
    return record != nullptr && std::memcmp(record->flashId, chip, sizeof chip) == 0;
}

TEST_F(Download, ChipNamedAsAtDiscoveryIsProgrammedWithItsProfile)
{
    Open();
    ASSERT_TRUE(RecordHolds(*device, kChipWithProfile)) << "the scan keeps the chip in the record";
    ASSERT_TRUE(Run(image));
    EXPECT_EQ(drive->profile().length, 700u);
    EXPECT_TRUE(drive->lastCommit().profileMatched);
    EXPECT_TRUE(DriveHoldsGoodImage(image));
}

// The update gives every drive a device object of its own, made without a scan, that takes
// the drive table from the object that scanned: the discovery reading comes with it.
TEST_F(Download, ObjectWithACopiedDriveTableComparesWithTheDiscoveryReading)
{
    Open();
    AtapiDevice agreeing(system, false);
    device->CopyStateTo(agreeing);
    ASSERT_TRUE(agreeing.SelectDrive(0));
    ASSERT_TRUE(RecordHolds(agreeing, kChipWithProfile));
    EXPECT_TRUE(agreeing.DownloadFirmware(image.data(), int32_t(image.size()), 0));
    EXPECT_TRUE(DriveHoldsGoodImage(image));

    const uint8_t otherChip[4] = {0xBF, 0xD6, 0x00, 0x01};
    std::memcpy(device->GetDrive(0)->flashId, otherChip, sizeof otherChip);
    AtapiDevice disagreeing(system, false);
    device->CopyStateTo(disagreeing);
    ASSERT_TRUE(disagreeing.SelectDrive(0));
    drive->ClearTrace();
    EXPECT_FALSE(disagreeing.DownloadFirmware(image.data(), int32_t(image.size()), 0));
    EXPECT_EQ(CountIf(Trace(), &TracedCommand::isImageWrite), 0);
    EXPECT_EQ(drive->lastCommit().commitCount, 1u) << "only the first object's commit";
}

class ChangedIdentificationByte : public Download, public ::testing::WithParamInterface<uint32_t> {};

// One changed byte of the chip key turns a chip with a profile into one without: the drive
// would get the image and the commit with no profile sent. The download ends right after the
// identification, with errors not raised, so the worker reports the failure as such.
TEST_P(ChangedIdentificationByte, EndsTheDownloadBeforeAnyImageByte)
{
    Open();
    ChangeIdentificationByte(GetParam());
    EXPECT_FALSE(Run(image));
    const std::vector<TracedCommand> commands = Trace();
    const size_t identification = SkipPreparation(commands);
    ASSERT_EQ(identification + 1, commands.size()) << "nothing follows the identification";
    EXPECT_EQ(commands[identification].opcode(), 0xDF);
    EXPECT_TRUE(commands[identification].good());
    EXPECT_EQ(CountIf(commands, &TracedCommand::isImageWrite), 0);
    EXPECT_EQ(FindCommit(commands), -1);
    EXPECT_FALSE(device->ErrorRaisingEnabled());
    EXPECT_EQ(drive->lastCommit().commitCount, 0u);
    EXPECT_EQ(drive->flashState(), FlashState::Untouched);
}

INSTANTIATE_TEST_SUITE_P(Download, ChangedIdentificationByte, ::testing::Values(0u, 1u, 2u, 3u),
                         [](const auto& info) { return "Offset" + std::to_string(info.param); });

// Only bytes 0..3 name the chip; the rest of the reply is not compared.
TEST_F(Download, ChangedByteBehindTheChipKeyIsNoDifference)
{
    Open();
    ChangeIdentificationByte(4);
    ASSERT_TRUE(Run(image));
    EXPECT_TRUE(drive->lastCommit().profileMatched);
    EXPECT_TRUE(DriveHoldsGoodImage(image));
}

// A drive that names another chip with a profile than at discovery: that profile has gone
// out, but no image follows it.
TEST_F(Download, ChipOtherThanAtDiscoveryEndsTheDownloadAfterTheProfile)
{
    Open();
    const uint8_t otherChip[4] = {0xBF, 0xD6, 0x00, 0x01};
    std::memcpy(device->GetDrive(0)->flashId, otherChip, sizeof otherChip);
    EXPECT_FALSE(Run(image));
    EXPECT_EQ(drive->trace().back(), kProfileWrite + " good") << "nothing follows the profile";
    EXPECT_EQ(CountIf(Trace(), &TracedCommand::isImageWrite), 0);
    EXPECT_FALSE(device->ErrorRaisingEnabled());
    EXPECT_EQ(drive->flashState(), FlashState::Untouched);
}

TEST_F(Download, AllZeroIdentificationOfAChipSeenAtDiscoveryEndsTheDownload)
{
    const uint8_t noChip[4] = {0, 0, 0, 0};
    Open(noChip);
    std::memcpy(device->GetDrive(0)->flashId, kChipWithProfile, sizeof kChipWithProfile);
    EXPECT_FALSE(Run(image));
    const std::vector<TracedCommand> commands = Trace();
    EXPECT_EQ(commands.back().opcode(), 0xDF);
    EXPECT_EQ(CountIf(commands, &TracedCommand::isImageWrite), 0);
    EXPECT_FALSE(device->ErrorRaisingEnabled());
    EXPECT_EQ(drive->flashState(), FlashState::Untouched);
}

// The identification failed at discovery: the record holds zeros and the download goes on as
// it always did, with the profile of whichever chip the drive names now.
class WithoutDiscoveryReading : public Download {
protected:
    void SetUp() override
    {
        Download::SetUp();
        AddDrive(kChipWithProfile);
        Fault refused;
        refused.kind = FaultKind::Sense;
        refused.trigger = FaultTrigger::Opcode;
        refused.opcode = 0xDF;
        refused.senseKey = 5;
        refused.asc = 0x20;
        ASSERT_TRUE(drive->AddFault(refused));
        ScanAndSelect();
        const uint8_t zero[4] = {0, 0, 0, 0};
        ASSERT_TRUE(RecordHolds(*device, zero));
    }
};

TEST_F(WithoutDiscoveryReading, ChipNamedNowGetsItsProfileImageAndCommit)
{
    ASSERT_TRUE(Run(image));
    EXPECT_TRUE(drive->lastCommit().profileMatched);
    EXPECT_TRUE(DriveHoldsGoodImage(image));
}

// With nothing to compare with, a changed byte cannot be told from a chip without a profile.
TEST_F(WithoutDiscoveryReading, ChangedChipKeyStillGetsImageAndCommit)
{
    ChangeIdentificationByte(1);
    EXPECT_TRUE(Run(image));
    const std::vector<TracedCommand> commands = Trace();
    EXPECT_TRUE(commands[SkipPreparation(commands) + 1].isImageWrite()) << "no profile write";
    EXPECT_NE(FindCommit(commands), -1);
    EXPECT_FALSE(drive->lastCommit().profileMatched);
}

// ---- The pause -------------------------------------------------------------------------------

TEST_F(Download, DelayWithMessagesWaitsTheSecondsOnTheVirtualClock)
{
    Open();
    AtapiDevice::SetMessagePump(&CountingPump);
    const double start = system.Now();
    device->DelayWithMessages(2.5);
    const double waited = system.Now() - start;
    EXPECT_GE(waited, 2.5);
    EXPECT_LT(waited, 2.51);
    EXPECT_GT(pumpCalls, 0);
}

TEST_F(Download, DelayWithMessagesWithoutPumpOnlyWaits)
{
    Open();
    const double start = system.Now();
    device->DelayWithMessages(1.0);
    EXPECT_GE(system.Now() - start, 1.0);
}

TEST_F(Download, DelayWithMessagesEndsWithoutAHighResolutionCounter)
{
    system.SetCounterAvailable(false);
    Open();
    pumpClock = nullptr;
    AtapiDevice::SetMessagePump(&CountingPump);
    device->DelayWithMessages(1.0);
    EXPECT_EQ(pumpCalls, 100) << "ten-millisecond sleeps make up the second";
}

}  // namespace
