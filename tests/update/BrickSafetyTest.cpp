// Brick safety of the whole update: the command sequence of a clean download of a
// 1,048,576-byte image (every block's second half zeros, so that half a block matches a zeroed
// buffer) is recorded once; then, for every command position of that sequence and every fault
// kind of the virtual drive (a changed byte on every reply that holds it, the chip key of the
// flash identification among them; a data phase that moves half or none of its bytes), a fresh
// drive gets that one fault and the worker's body runs the download. Every run must show:
//   - a commit only after every block of one pass was written and compared equal;
//   - an update result of 0 exactly when the drive ended with the good image (the honest
//     exceptions: a commit that the drive carried out but answered past the time-out, or whose
//     parameter data did not all move);
//   - no drive left damaged by a commit the program sent.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "device/AtapiDevice.h"
#include "sim/VirtualSystem.h"
#include "tests/flash/DownloadTrace.h"
#include "update/Parser.h"

namespace {

using namespace downloadtest;
using sim::Fault;
using sim::FaultKind;
using sim::FaultTrigger;
using sim::FlashState;

constexpr uint8_t kChip[4] = {0xBF, 0xD6, 0x00, 0x02};
constexpr double kPastTheTimeOutSeconds = 200.0;
constexpr uint32_t kReadBackOnlyByte = 9999;  // inside every 16 KiB read-back, past the identification

struct FaultCase {
    const char* name;
    FaultKind kind;
    uint8_t senseKey;
    uint8_t asc;
    uint8_t ascq;
    uint32_t replyOffset;     // the byte a changed reply inverts
    uint32_t bytesMoved = 0;  // the most a short data phase moves
};

void PrintTo(const FaultCase& faultCase, std::ostream* out) { *out << faultCase.name; }

const FaultCase kFaultCases[] = {
    {"SenseNotReady", FaultKind::Sense, 0x2, 0x04, 0x01, 0},
    {"SenseMediumError", FaultKind::Sense, 0x3, 0x0C, 0x00, 0},
    {"SenseHardwareError", FaultKind::Sense, 0x4, 0x44, 0x00, 0},
    {"SenseIllegalRequest", FaultKind::Sense, 0x5, 0x24, 0x00, 0},
    {"SenseUnitAttention", FaultKind::Sense, 0x6, 0x29, 0x00, 0},
    {"RequestFails", FaultKind::RequestFails, 0, 0, 0, 0},
    {"PastTheTimeOut", FaultKind::Slow, 0, 0, 0, 0},
    {"ChangedReadBackByte", FaultKind::CorruptReply, 0, 0, 0, kReadBackOnlyByte},
    // Bytes 0..3 are the chip key in the identification reply, and the first bytes of a block.
    {"ChangedReplyByte0", FaultKind::CorruptReply, 0, 0, 0, 0},
    {"ChangedReplyByte1", FaultKind::CorruptReply, 0, 0, 0, 1},
    {"ChangedReplyByte2", FaultKind::CorruptReply, 0, 0, 0, 2},
    {"ChangedReplyByte3", FaultKind::CorruptReply, 0, 0, 0, 3},
    {"DriveGone", FaultKind::Disappear, 0, 0, 0, 0},
    // A block write of which the drive keeps half, a read-back of which half arrives; and a
    // data phase, in or out, of which nothing moves.
    {"HalfABlockMoved", FaultKind::ShortTransfer, 0, 0, 0, 0, kBlockSize / 2},
    {"NothingMoved", FaultKind::ShortTransfer, 0, 0, 0, 0, 0},
};

// One drive on a fresh virtual system, its device object with the drive selected, and the
// download run through the worker's body.
class UpdateRun {
public:
    explicit UpdateRun(const std::vector<uint8_t>& image) : image(image)
    {
        sim::DriveConfig config;
        std::memcpy(config.flashId, kChip, sizeof kChip);
        drive = system.AddDrive(sim::DriveSetup{config});
        device = std::make_unique<AtapiDevice>(system);
        selected = device->SelectDrive(0);
        drive->ClearTrace();
        commandsBefore = drive->commandCount();
    }

    bool ready() const { return drive != nullptr && selected; }

    // The fault hits the position-th command of the download (1-based).
    bool AddFault(const FaultCase& faultCase, uint32_t position)
    {
        Fault fault;
        fault.kind = faultCase.kind;
        fault.trigger = FaultTrigger::Sequence;
        fault.number = commandsBefore + position;
        fault.senseKey = faultCase.senseKey;
        fault.asc = faultCase.asc;
        fault.ascq = faultCase.ascq;
        fault.seconds = kPastTheTimeOutSeconds;
        fault.replyOffset = faultCase.replyOffset;
        fault.bytesMoved = faultCase.bytesMoved;
        return drive->AddFault(fault);
    }

    uint8_t Run()
    {
        Parser worker({device.get(), image.data(), int32_t(image.size()), false});
        device->updateResult = 0xFF;
        worker.ThreadMain();
        return device->updateResult;
    }

    bool DriveHoldsGoodImage() const
    {
        return drive->flashState() == FlashState::Good &&
               std::memcmp(drive->flash(), image.data(), image.size()) == 0 &&
               std::string(drive->revision()) == drive->config().newRevision;
    }

    sim::VirtualDrive& virtualDrive() { return *drive; }

private:
    const std::vector<uint8_t>& image;
    sim::VirtualSystem system;
    sim::VirtualDrive* drive = nullptr;
    std::unique_ptr<AtapiDevice> device;
    bool selected = false;
    uint32_t commandsBefore = 0;
};

// A command as the program saw it: a request that failed as such and was sent once more by
// the transport is one command, with the outcome of its second attempt.
struct SentCommand {
    TracedCommand command;
    size_t traceIndex;  // line of the attempt whose outcome counts
};

std::vector<SentCommand> MergeRetries(const std::vector<TracedCommand>& trace)
{
    std::vector<SentCommand> sent;
    for (size_t i = 0; i < trace.size(); ++i) {
        const bool retried = trace[i].outcome == "failed" && i + 1 < trace.size() &&
                             std::memcmp(trace[i].cdb, trace[i + 1].cdb, sizeof trace[i].cdb) == 0;
        if (!retried) sent.push_back({trace[i], i});
    }
    return sent;
}

// The commit at sent[commit] follows one whole pass: 64 good writes and 64 good read-backs in
// block order, none of them the command that the fault changed.
::testing::AssertionResult FollowsOneVerifiedPass(const std::vector<SentCommand>& sent, size_t commit,
                                                  size_t faultedLine)
{
    if (commit < size_t(2 * kImageBlocks)) return ::testing::AssertionFailure() << "commit too early";
    const size_t passStart = commit - 2 * kImageBlocks;
    for (int block = 0; block < kImageBlocks; ++block) {
        const SentCommand& write = sent[passStart + size_t(block)];
        const SentCommand& read = sent[passStart + size_t(kImageBlocks + block)];
        if (!write.command.isImageWrite() || !write.command.good() || write.command.offset() != block * kBlockSize)
            return ::testing::AssertionFailure() << "no good write of block " << block << " in the pass";
        if (!read.command.isImageRead() || !read.command.good() || read.command.offset() != block * kBlockSize)
            return ::testing::AssertionFailure() << "no good read-back of block " << block << " in the pass";
        if (read.traceIndex == faultedLine)
            return ::testing::AssertionFailure() << "the changed read-back of block " << block << " was accepted";
    }
    return ::testing::AssertionSuccess();
}

struct Tally {
    int runs = 0;
    int programmed = 0;              // result 0, good image
    int failedUntouched = 0;         // result 42, flash never programmed
    int failedThoughProgrammed = 0;  // result 42, good image: the commit answered too late
    int commitsSent = 0;
};

int FindOpcode(const std::vector<TracedCommand>& commands, uint8_t opcode)
{
    for (size_t i = 0; i < commands.size(); ++i) {
        if (commands[i].opcode() == opcode) return int(i);
    }
    return -1;
}

// After the commit the drive is only asked whether it is ready again (its settling): no data,
// no second commit.
template <typename Command, typename OpcodeOf>
bool OnlyReadinessPollsAfter(const std::vector<Command>& commands, size_t commit, OpcodeOf opcodeOf)
{
    return std::all_of(commands.begin() + std::ptrdiff_t(commit) + 1, commands.end(),
                       [&](const Command& command) { return opcodeOf(command) == 0x00; });
}

// The download as it runs without any fault.
std::vector<TracedCommand> RecordCleanSequence(const std::vector<uint8_t>& image)
{
    UpdateRun run(image);
    EXPECT_TRUE(run.ready());
    EXPECT_EQ(run.Run(), 0);
    EXPECT_TRUE(run.DriveHoldsGoodImage());
    return ParseTrace(run.virtualDrive().trace());
}

void CheckRun(const FaultCase& faultCase, uint32_t position, const std::vector<uint8_t>& image, Tally& tally)
{
    SCOPED_TRACE(testing::Message() << faultCase.name << " on command " << position);
    UpdateRun run(image);
    ASSERT_TRUE(run.ready());
    ASSERT_TRUE(run.AddFault(faultCase, position));
    const uint8_t result = run.Run();
    const std::vector<TracedCommand> trace = ParseTrace(run.virtualDrive().trace());
    const std::vector<SentCommand> sent = MergeRetries(trace);
    const size_t faultedLine = position - 1;
    ASSERT_LT(faultedLine, trace.size()) << "the run ended before the faulted command";

    ASSERT_TRUE(result == 0 || result == 42) << int(result);
    EXPECT_NE(run.virtualDrive().flashState(), FlashState::Damaged);
    EXPECT_LE(run.virtualDrive().lastCommit().commitCount, 1u);

    size_t commits = 0;
    for (size_t i = 0; i < sent.size(); ++i) {
        if (!sent[i].command.isCommit()) continue;
        ++commits;
        EXPECT_TRUE(FollowsOneVerifiedPass(sent, i, faultedLine));
        EXPECT_TRUE(OnlyReadinessPollsAfter(sent, i, [](const SentCommand& c) { return c.command.opcode(); }))
            << "only readiness polls follow the commit";
    }
    tally.commitsSent += int(commits);

    const bool good = run.DriveHoldsGoodImage();
    if (good) {
        EXPECT_TRUE(run.virtualDrive().lastCommit().profileMatched);
    }
    if (result == 0) {
        EXPECT_TRUE(good) << "success reported for a drive without the good image";
        ++tally.programmed;
    } else if (good) {
        // Only a commit that the drive carried out and answered past the time-out, or that did
        // not move all its parameter data, may leave a good drive behind a failure report.
        EXPECT_TRUE(faultCase.kind == FaultKind::Slow || faultCase.kind == FaultKind::ShortTransfer);
        EXPECT_TRUE(trace[faultedLine].isCommit());
        ++tally.failedThoughProgrammed;
    } else {
        EXPECT_EQ(run.virtualDrive().flashState(), FlashState::Untouched);
        ++tally.failedUntouched;
    }
    ++tally.runs;
}

class BrickSafety : public ::testing::TestWithParam<FaultCase> {
protected:
    static void SetUpTestSuite()
    {
        image = new std::vector<uint8_t>(MakeImage(kImageSize));
        clean = new std::vector<TracedCommand>(RecordCleanSequence(*image));
    }
    static void TearDownTestSuite()
    {
        delete clean;
        delete image;
    }

    static std::vector<uint8_t>* image;
    static std::vector<TracedCommand>* clean;
};

std::vector<uint8_t>* BrickSafety::image = nullptr;
std::vector<TracedCommand>* BrickSafety::clean = nullptr;

TEST_F(BrickSafety, CleanSequenceIsTheWholeDownload)
{
    ASSERT_NE(clean, nullptr);
    const int commit = FindCommit(*clean);
    ASSERT_GE(commit, 0);
    EXPECT_TRUE(OnlyReadinessPollsAfter(*clean, size_t(commit), [](const TracedCommand& c) { return c.opcode(); }));
    EXPECT_EQ(CountIf(*clean, &TracedCommand::isImageWrite), kImageBlocks);
    EXPECT_EQ(CountIf(*clean, &TracedCommand::isImageRead), kImageBlocks);
    EXPECT_GE(clean->size(), size_t(2 * kImageBlocks + 5));
}

// A changed byte means something only in a data-in reply long enough to hold it: the flash
// identification and the read-backs. Every other kind is tried on every command.
bool FaultReaches(const FaultCase& faultCase, const TracedCommand& command)
{
    if (faultCase.kind != FaultKind::CorruptReply) return true;
    return command.direction == "in" && command.length > faultCase.replyOffset;
}

// One changed byte of the chip key in the identification ends the update with 42 before any
// image byte: the drive would otherwise be programmed without the profile of its chip.
TEST_F(BrickSafety, ChangedChipKeyEndsTheUpdateWith42BeforeAnyImageByte)
{
    const int identification = FindOpcode(*clean, 0xDF);
    ASSERT_GE(identification, 0);
    for (uint32_t offset = 0; offset < 4; ++offset) {
        SCOPED_TRACE(testing::Message() << "byte " << offset);
        UpdateRun run(*image);
        ASSERT_TRUE(run.ready());
        const FaultCase changedKey = {"ChangedChipKey", FaultKind::CorruptReply, 0, 0, 0, offset};
        ASSERT_TRUE(run.AddFault(changedKey, uint32_t(identification) + 1));
        EXPECT_EQ(run.Run(), 42);
        const std::vector<TracedCommand> trace = ParseTrace(run.virtualDrive().trace());
        ASSERT_EQ(trace.size(), size_t(identification) + 1) << "nothing follows the identification";
        EXPECT_TRUE(trace.back().good());
        EXPECT_EQ(run.virtualDrive().lastCommit().commitCount, 0u);
        EXPECT_EQ(run.virtualDrive().flashState(), FlashState::Untouched);
    }
}

TEST_P(BrickSafety, NoFaultOnAnyCommandLeadsToAnUnverifiedCommit)
{
    const FaultCase& faultCase = GetParam();
    Tally tally;
    int expectedRuns = 0;
    for (uint32_t position = 1; position <= clean->size(); ++position) {
        if (!FaultReaches(faultCase, (*clean)[position - 1])) continue;
        ++expectedRuns;
        CheckRun(faultCase, position, *image, tally);
        if (HasFatalFailure()) return;
    }
    const int imageReads = CountIf(*clean, &TracedCommand::isImageRead);
    if (faultCase.kind != FaultKind::CorruptReply)
        EXPECT_EQ(expectedRuns, int(clean->size()));
    else if (faultCase.replyOffset < 4)
        EXPECT_EQ(expectedRuns, imageReads + 1) << "the identification too";
    else
        EXPECT_EQ(expectedRuns, imageReads);
    EXPECT_EQ(tally.runs, expectedRuns);
    EXPECT_EQ(tally.runs, tally.programmed + tally.failedUntouched + tally.failedThoughProgrammed);
    std::cout << "[ matrix   ] " << faultCase.name << ": " << tally.runs << " runs, " << tally.programmed
              << " programmed (0), " << tally.failedUntouched << " failed with the drive untouched (42), "
              << tally.failedThoughProgrammed << " failed though programmed (42), " << tally.commitsSent
              << " commits sent\n";
}

INSTANTIATE_TEST_SUITE_P(EveryFaultKind, BrickSafety, ::testing::ValuesIn(kFaultCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
