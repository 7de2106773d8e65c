// The drive command set of AtapiDevice: seven single commands, each a copy of its template with
// the argument fields (declared in scsi/CommandBlocks.h) stored into it, and the composite
// operations built on them.

#include <algorithm>
#include <cstring>

#include "device/AtapiDevice.h"
#include "device/DriveCommands.h"
#include "scsi/Answers.h"
#include "scsi/CommandBlocks.h"
#include "scsi/CommandOutcome.h"

using platform::DataDirection;

namespace {

using scsi::kAscMediumNotPresent;
using scsi::kAscNotReady;
using scsi::kSenseNotReady;
using scsi::kSenseUnitAttention;

struct CommandBlock {
    uint8_t bytes[platform::kCdbSize];

    // The command set's contract is to store its arguments cut to the width of their fields (a
    // flag is its argument's lowest bit, an offset keeps its low 24 bits): the cut is asked for
    // by name here, where elsewhere a value that does not fit is refused.
    void PutArgument(scsi::Field field, uint32_t value) { scsi::PutMasked(bytes, field, value); }
};
static_assert(platform::kCdbSize == scsi::kCommandBlockSize);

CommandBlock FromTemplate(device::CommandTemplate command)
{
    CommandBlock block;
    std::memcpy(block.bytes, device::kCommandTemplates[static_cast<int>(command)], sizeof block.bytes);
    return block;
}

// A data-in reply lands in a buffer that still holds the previous command's data. Zeroing the
// reply area first means that bytes the drive did not send read as zero, never as an old reply.
void ClearReplyArea(uint8_t* inputBuffer, uint32_t length)
{
    if (inputBuffer == nullptr) return;
    std::memset(inputBuffer, 0, std::min(length, kBufferSize));
}

bool AnyNonZero(const uint8_t* bytes, uint32_t count)
{
    return bytes != nullptr && std::any_of(bytes, bytes + count, [](uint8_t byte) { return byte != 0; });
}

CommandBlock ReadBufferBlock(uint32_t offset, uint32_t length)
{
    CommandBlock block = FromTemplate(device::CommandTemplate::ReadBuffer);
    block.PutArgument(scsi::buffer::kOffset, offset);
    block.PutArgument(scsi::buffer::kLength, length);
    return block;
}

}  // namespace

bool AtapiDevice::TestUnitReady()
{
    const CommandBlock block = FromTemplate(device::CommandTemplate::TestUnitReady);
    return ExecuteCommand(block.bytes, DataDirection::None, 0);
}

bool AtapiDevice::Inquiry(uint8_t cmdDt, uint8_t evpd, uint8_t page, uint8_t allocation, uint8_t control)
{
    CommandBlock block = FromTemplate(device::CommandTemplate::Inquiry);
    block.PutArgument(scsi::inquiry::kCmdDt, cmdDt);
    block.PutArgument(scsi::inquiry::kEvpd, evpd);
    block.PutArgument(scsi::inquiry::kPage, page);
    block.PutArgument(scsi::inquiry::kAllocation, allocation);
    block.PutArgument(scsi::inquiry::kControl, control);
    ClearReplyArea(InputBuffer(), allocation);
    return ExecuteCommand(block.bytes, DataDirection::In, allocation);
}

bool AtapiDevice::StartStopUnit(uint8_t immed, uint8_t power, uint8_t loej, uint8_t start)
{
    CommandBlock block = FromTemplate(device::CommandTemplate::StartStopUnit);
    block.PutArgument(scsi::start_stop::kImmed, immed);
    block.PutArgument(scsi::start_stop::kPowerCondition, power);
    block.PutArgument(scsi::start_stop::kLoadEject, loej);
    block.PutArgument(scsi::start_stop::kStart, start);
    return ExecuteCommand(block.bytes, DataDirection::None, 0);
}

bool AtapiDevice::GetEventStatus(uint8_t polled, uint8_t classes, uint32_t allocation, uint8_t control)
{
    CommandBlock block = FromTemplate(device::CommandTemplate::GetEventStatus);
    block.PutArgument(scsi::event_status::kPolled, polled);
    block.PutArgument(scsi::event_status::kClassRequest, classes);
    block.PutArgument(scsi::event_status::kAllocation, allocation);
    block.PutArgument(scsi::event_status::kControl, control);
    ClearReplyArea(InputBuffer(), allocation);
    return ExecuteCommand(block.bytes, DataDirection::In, allocation);
}

// True only for a completed command whose reply holds a nonzero byte: a drive that answers
// with zeros has told nothing about its flash memory.
bool AtapiDevice::ReadFlashId()
{
    const CommandBlock block = FromTemplate(device::CommandTemplate::FlashId);
    ClearReplyArea(InputBuffer(), device::kFlashIdLength);
    if (!ExecuteCommand(block.bytes, DataDirection::In, device::kFlashIdLength)) return false;
    return AnyNonZero(InputBuffer(), device::kFlashIdLength);
}

bool AtapiDevice::ReadBuffer(uint32_t offset, uint32_t length)
{
    const CommandBlock block = ReadBufferBlock(offset, length);
    ClearReplyArea(InputBuffer(), length);
    return ExecuteCommand(block.bytes, DataDirection::In, length);
}

// Zeros in the reply area would match an image whose bytes are zero there, so a drive or a
// driver that moves only part of the block could pass the comparison.
bool AtapiDevice::ReadBufferToCompare(uint32_t offset, uint32_t length, const uint8_t* expected)
{
    const CommandBlock block = ReadBufferBlock(offset, length);
    uint8_t* reply = InputBuffer();
    if (reply != nullptr && expected != nullptr) {
        const uint32_t count = std::min(length, kBufferSize);
        std::transform(expected, expected + count, reply, [](uint8_t byte) { return static_cast<uint8_t>(~byte); });
    }
    return ExecuteCommand(block.bytes, DataDirection::In, length);
}

// The commit controls carry a 16-byte parameter list from the start of outputBuffer while the
// length field keeps the length argument (0 in use).
bool AtapiDevice::WriteBuffer(uint32_t offset, uint32_t length, uint8_t control)
{
    CommandBlock block = FromTemplate(device::CommandTemplate::WriteBuffer);
    block.PutArgument(scsi::buffer::kOffset, offset);
    block.PutArgument(scsi::buffer::kLength, length);
    block.PutArgument(scsi::buffer::kControl, control);
    const bool commit = control == device::kCommitControl || control == device::kCommitBootCodeControl;
    return ExecuteCommand(block.bytes, DataDirection::Out, commit ? device::kCommitDataLength : length);
}

// Polls every 300 ms while the drive reports that it is becoming ready or has a unit
// attention. The extra poll after the loop leaves its sense as the one callers test. Without a
// high-resolution counter the wait timer reads 0.0, so the time slept stands in for it.
bool AtapiDevice::WaitReady(int32_t seconds)
{
    const bool limited = seconds > 0;
    if (limited) waitTimer.Start(true);
    const uint64_t limitMs = limited ? uint64_t(seconds) * 1000 : 0;
    uint64_t sleptMs = 0;
    auto limitReached = [&] { return waitTimer.IsAvailable() ? waitTimer.Elapsed() >= seconds : sleptMs >= limitMs; };
    bool timedOut = false;
    for (;;) {
        TestUnitReady();
        if (!SenseIs(kSenseNotReady, kAscNotReady) && !SenseKeyIs(kSenseUnitAttention)) break;
        if (limited && limitReached()) {
            timedOut = true;
            break;
        }
        system.Sleep(device::kReadyPollIntervalMs);
        sleptMs += device::kReadyPollIntervalMs;
    }
    TestUnitReady();
    if (limited) waitTimer.Stop();
    if (timedOut && raiseOnError) throw ErrCodeException(ErrCodeException::kWaitTimedOut);
    return !timedOut;
}

// The sense tested is that of the extra poll at the end of the wait.
bool AtapiDevice::IsDiscAbsent()
{
    WaitReady(30);
    return SenseIs(kSenseNotReady, kAscMediumNotPresent);
}

// A drive may hold more than one pending attention; each poll takes one away. The number of
// polls is bounded so that a drive that reports unit attention for ever cannot hang the caller.
void AtapiDevice::ClearUnitAttention()
{
    for (int poll = 0; poll < device::kMaxUnitAttentionPolls; ++poll) {
        if (TestUnitReady() || !SenseKeyIs(kSenseUnitAttention)) return;
    }
}

// A drive that cannot report its tray counts as closed.
bool AtapiDevice::IsTrayOpen()
{
    using namespace scsi::event_data;
    if (!GetEventStatus(1, kMediaClassBit, kMediaLength, 0)) return false;
    const uint8_t* reply = InputBuffer();
    return reply != nullptr && scsi::Get(reply, kTrayOpen) != 0;
}

bool AtapiDevice::LoadTray() { return StartStopUnit(0, 0, 1, 1); }

bool AtapiDevice::EjectTray() { return StartStopUnit(0, 0, 1, 0); }

bool AtapiDevice::StopUnit() { return StartStopUnit(0, 0, 0, 0); }
