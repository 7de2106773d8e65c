// The target's logical units: commands to the virtual drives, and the few the target answers.

#include "iscsi/IscsiLogicalUnits.h"

#include <algorithm>
#include <cstring>

#include "iscsi/IscsiPdu.h"
#include "scsi/CommandOutcome.h"
#include "scsi/Opcodes.h"
#include "scsi/Sense.h"

namespace iscsi {

namespace {

using namespace scsi::opcode;
using scsi::kAscLunNotSupported;
using scsi::kSenseIllegalRequest;

constexpr uint8_t kNoUnitHere = 0x7F;  // peripheral qualifier 011b, device type 1Fh
constexpr uint32_t kLunListHeader = 8;
constexpr uint32_t kLunEntrySize = 8;
constexpr uint32_t kOpticalBlockLength = 2048;

// Copies a reply into the initiator's buffer: no more than it asked for, and tells how much
// there was.
void MoveIn(const UnitCommand& command, sim::CommandReply& reply, const uint8_t* source, uint32_t available)
{
    if (command.direction != platform::DataDirection::In || command.data == nullptr) return;
    reply.transferred = std::min(available, command.length);
    std::memcpy(command.data, source, reply.transferred);
    reply.offered = available;
}

sim::CommandReply GoodReply()
{
    sim::CommandReply reply{};
    reply.delivered = true;
    return reply;
}

sim::CommandReply SenseReply(uint8_t key, uint8_t asc, uint8_t ascq)
{
    sim::CommandReply reply = GoodReply();
    reply.hasSense = true;
    sim::FillSense(reply.sense, key, asc, ascq);
    return reply;
}

bool IsMediumNotPresent(const sim::CommandReply& reply)
{
    scsi::SenseFields sense;
    return reply.delivered && reply.hasSense && scsi::NormaliseSense(reply.sense, sim::kSenseDataSize, sense) &&
           sense.key == scsi::kSenseNotReady && sense.asc == scsi::kAscMediumNotPresent;
}

}  // namespace

bool LogicalUnits::Add(sim::VirtualDrive& drive)
{
    if (unitCount == kMaxLuns) return false;
    units[unitCount++].drive = &drive;
    return true;
}

sim::CommandReply LogicalUnits::Execute(uint16_t lun, const UnitCommand& command, double now)
{
    if (command.cdb[0] == kReportLuns) return ReportLuns(command);
    if (lun >= unitCount) return AnswerMissingUnit(command);
    if (commandObserver) commandObserver(lun, command, now);

    sim::CommandRequest request{};
    std::memcpy(request.cdb, command.cdb, sizeof request.cdb);
    request.direction = command.direction;
    request.data = command.data;
    request.length = command.length;
    // The initiator keeps its own time-out: the target lets every command run its course.
    request.timeoutSeconds = 0.0;
    sim::CommandReply reply = units[lun].drive->Execute(request);
    if (answerAttachCommands && AnswerAttachCommand(command, reply)) {
        ++attachAnswerCount;
    }
    return reply;
}

bool LogicalUnits::Reset(uint16_t lun)
{
    if (lun >= unitCount) return false;
    units[lun].drive->Reset();
    units[lun].busyUntil = 0.0;
    return true;
}

sim::CommandReply LogicalUnits::ReportLuns(const UnitCommand& command) const
{
    uint8_t list[kLunListHeader + kMaxLuns * kLunEntrySize] = {};
    PutBE32(list, static_cast<uint32_t>(unitCount) * kLunEntrySize);
    for (int lun = 0; lun < unitCount; ++lun) {
        EncodeLun(static_cast<uint16_t>(lun), list + kLunListHeader + lun * kLunEntrySize);
    }
    sim::CommandReply reply = GoodReply();
    const uint32_t allocation = GetBE32(command.cdb + 6);
    const uint32_t size = kLunListHeader + static_cast<uint32_t>(unitCount) * kLunEntrySize;
    MoveIn(command, reply, list, std::min(size, allocation));
    return reply;
}

// A LUN the target does not have: INQUIRY says so, REQUEST SENSE and every other command
// report "logical unit not supported".
sim::CommandReply LogicalUnits::AnswerMissingUnit(const UnitCommand& command)
{
    if (command.cdb[0] == kInquiry && (command.cdb[1] & 0x01) == 0) {
        uint8_t data[36] = {kNoUnitHere, 0x00, 0x05, 0x02, 31};
        sim::CommandReply reply = GoodReply();
        MoveIn(command, reply, data, std::min<uint32_t>(sizeof data, GetBE16(command.cdb + 3)));
        return reply;
    }
    if (command.cdb[0] == kRequestSense) {
        const sim::CommandReply unsupported = SenseReply(kSenseIllegalRequest, kAscLunNotSupported, 0x00);
        sim::CommandReply reply = GoodReply();
        MoveIn(command, reply, unsupported.sense, std::min<uint32_t>(sim::kSenseDataSize, command.cdb[4]));
        return reply;
    }
    return SenseReply(kSenseIllegalRequest, kAscLunNotSupported, 0x00);
}

// An empty drive's answer to the capacity read an initiator makes before it attaches the LUN:
// the target answers instead, with an empty medium's capacity (last block 0 of 2048 bytes).
// Later capacity reads get the drive's own answer.
bool LogicalUnits::AnswerAttachCommand(const UnitCommand& command, sim::CommandReply& reply)
{
    if (command.cdb[0] == kReadCapacity10 && command.firstCapacityRead && IsMediumNotPresent(reply)) {
        uint8_t capacity[8] = {};
        PutBE32(capacity + 4, kOpticalBlockLength);
        reply = GoodReply();
        MoveIn(command, reply, capacity, sizeof capacity);
        return true;
    }
    return false;
}

}  // namespace iscsi
