#include "sim/VirtualDrive.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cstdio>
#include <cstring>

#include "scsi/Answers.h"
#include "scsi/CommandBlocks.h"
#include "scsi/CommandOutcome.h"
#include "scsi/Opcodes.h"
#include "scsi/TraceLine.h"
#include "sim/DriveReplies.h"

namespace sim {

namespace {

using namespace scsi::opcode;
using namespace scsi;

constexpr uint8_t kWriteBufferMode = 0x05;
constexpr uint8_t kReadBufferMode = 0x01;
constexpr uint8_t kBufferId = 0x01;

constexpr uint8_t kControlImage = 0x00;
constexpr uint8_t kControlProfile = 0x7F;
constexpr uint8_t kControlCommit = 0x80;
constexpr uint8_t kControlCommitBootCode = 0xA0;

// The fixed part of the standard inquiry data. Built at compile time: a value that did not fit
// its field would stop the build.
constexpr std::array<uint8_t, inquiry_data::kLength> InquiryHeader()
{
    using namespace inquiry_data;
    std::array<uint8_t, kLength> data{};
    const bool filled = Put(data.data(), kDeviceType, kOpticalDevice) && Put(data.data(), kRemovable, 1) &&
                        Put(data.data(), kResponseDataFormat, kFormatSpc) &&
                        Put(data.data(), kAdditionalLength, kLength - (kAdditionalLength.offset + 1));
    if (!filled) throw "an inquiry field does not fit";
    return data;
}
constexpr std::array<uint8_t, inquiry_data::kLength> kInquiryHeader = InquiryHeader();

// Bytes of a data-out phase that actually reach the drive.
uint32_t BytesOut(const CommandRequest& request)
{
    if (request.direction != platform::DataDirection::Out || request.data == nullptr) {
        return 0;
    }
    return request.length;
}

}  // namespace

void FillSense(uint8_t (&sense)[kSenseDataSize], uint8_t key, uint8_t asc, uint8_t ascq)
{
    std::memset(sense, 0, sizeof sense);
    sense[0] = scsi::kFixedSenseCurrent;
    sense[scsi::kSenseKeyByte] = key & scsi::kSenseKeyMask;
    sense[scsi::kAdditionalLengthByte] = kSenseDataSize - 8;
    sense[scsi::kAscByte] = asc;
    sense[scsi::kAscqByte] = ascq;
}

struct VirtualDrive::Storage {
    uint8_t buffer[kDriveBufferSize];
    uint8_t flash[kDriveBufferSize];
    std::bitset<kDriveBufferSize> written;  // image bytes that arrived since the profile
};

struct VirtualDrive::FaultEffects {
    bool fails = false;
    bool disappears = false;
    bool sense = false;
    uint8_t senseKey = 0;
    uint8_t asc = 0;
    uint8_t ascq = 0;
    double extraSeconds = 0.0;
    bool corrupt = false;
    uint32_t corruptOffset = 0;
    uint32_t bytesMoved = UINT32_MAX;  // most bytes the data phase moves
};

VirtualDrive::VirtualDrive(const DriveConfig& config) : settings(config), storage(std::make_unique<Storage>())
{
    RestoreModeDefaults();
    if (settings.imageSize == 0 || settings.imageSize > kDriveBufferSize) {
        settings.imageSize = kDriveBufferSize;
    }
    std::memcpy(currentRevision, settings.revision, 4);
    currentRevision[4] = '\0';
    isTrayOpen = settings.trayOpen;
    hasDisc = settings.discPresent;
    preventedByHost = settings.mediumRemovalPrevented;
}

VirtualDrive::~VirtualDrive() = default;

const uint8_t* VirtualDrive::buffer() const { return storage->buffer; }
const uint8_t* VirtualDrive::flash() const { return storage->flash; }

CommandReply VirtualDrive::Execute(const CommandRequest& request)
{
    CommandReply reply{};
    reply.delivered = true;
    const uint8_t opcode = request.cdb[0];
    ++commandsReceived;
    ++opcodeCounts[opcode];

    FaultEffects effects;
    CollectFaults(opcode, effects);
    if (effects.disappears) {
        isGone = true;
    }
    if (isGone || effects.fails) {
        reply.delivered = false;
    } else if (effects.sense) {
        reply.hasSense = true;
        FillSense(reply.sense, effects.senseKey, effects.asc, effects.ascq);
    } else {
        Answer(request, effects, reply);
    }
    ShapeSense(reply);  // in the format the control mode page asks for
    if (effects.corrupt && effects.corruptOffset < reply.transferred && !reply.hasSense &&
        request.direction == platform::DataDirection::In) {
        request.data[effects.corruptOffset] ^= 0xFF;
    }
    reply.seconds += Duration(reply.transferred) + effects.extraSeconds;

    // The transport gives up on a command that outlasts the host's time-out.
    if (request.timeoutSeconds > 0.0 && reply.seconds > request.timeoutSeconds) {
        reply = CommandReply{};
        reply.seconds = request.timeoutSeconds;
    }
    secondsModelled += reply.seconds;
    Record(request, reply);
    return reply;
}

void VirtualDrive::CollectFaults(uint8_t opcode, FaultEffects& effects)
{
    for (int i = 0; i < faultCount; ++i) {
        const Fault& fault = faults[i];
        uint32_t count = commandsReceived;
        if (fault.trigger == FaultTrigger::Opcode) {
            count = fault.opcode == opcode ? opcodeCounts[opcode] : 0;
        }
        if (count == 0 || count < fault.number) continue;
        if (fault.repeat != 0 && count - fault.number >= fault.repeat) continue;

        switch (fault.kind) {
        case FaultKind::Sense:
            effects.sense = true;
            effects.senseKey = fault.senseKey;
            effects.asc = fault.asc;
            effects.ascq = fault.ascq;
            break;
        case FaultKind::RequestFails: effects.fails = true; break;
        case FaultKind::Slow: effects.extraSeconds += fault.seconds; break;
        case FaultKind::CorruptReply:
            effects.corrupt = true;
            effects.corruptOffset = fault.replyOffset;
            break;
        case FaultKind::Disappear: effects.disappears = true; break;
        case FaultKind::ShortTransfer: effects.bytesMoved = std::min(effects.bytesMoved, fault.bytesMoved); break;
        }
    }
}

// A short transfer ends the data phase early with good status: a data-in reply stops at the
// limit, as if the host's buffer ended there, and of a data-out phase the drive takes only the
// bytes up to it.
void VirtualDrive::Answer(const CommandRequest& request, const FaultEffects& effects, CommandReply& reply)
{
    if (effects.bytesMoved == UINT32_MAX) return Dispatch(request, reply);
    CommandRequest limited = request;
    if (request.direction == platform::DataDirection::In) {
        limited.length = std::min(request.length, effects.bytesMoved);
    } else {
        dataOutTaken = effects.bytesMoved;
    }
    Dispatch(limited, reply);
    dataOutTaken = UINT32_MAX;
}

void VirtualDrive::Dispatch(const CommandRequest& request, CommandReply& reply)
{
    const uint8_t opcode = request.cdb[0];
    // Identification and media events are answered even while a unit attention is pending.
    if (opcode == kInquiry) return Inquiry(request, reply);
    if (opcode == kGetEventStatusNotification) return GetEventStatus(request, reply);
    if (AnswerBeforeAttention(request, reply)) return;  // REQUEST SENSE, GET CONFIGURATION, REPORT LUNS
    if (ReportAttention(reply)) return;
    if (AnswerModeCommand(request, reply)) return;

    switch (opcode) {
    case kTestUnitReady: return TestUnitReady(reply);
    case kStartStopUnit: return StartStopUnit(request, reply);
    case kVendorCommand: return ReadFlashId(request, reply);
    case kReadBuffer: return ReadBuffer(request, reply);
    case kWriteBuffer: return WriteBuffer(request, reply);
    // The disc, the tray and the power.
    case kPreventAllowMediumRemoval: return PreventAllow(request, reply);
    case kReadCapacity10: return ReadCapacity(request, reply);
    case kReadTocPmaAtip: return ReadToc(request, reply);
    case kReadDiscInformation: return ReadDiscInformation(request, reply);
    case kReadTrackInformation: return ReadTrackInformation(request, reply);
    case kRead10: return ReadBlocks(request, Get(request.cdb, read10::kLba), Get(request.cdb, read10::kBlocks), reply);
    case kRead12: return ReadBlocks(request, Get(request.cdb, read12::kLba), Get(request.cdb, read12::kBlocks), reply);
    case kMechanismStatus: return MechanismStatus(request, reply);
    default:
        reply.hasSense = true;
        FillSense(reply.sense, kSenseIllegalRequest, kAscInvalidOpcode, 0x00);
        return;
    }
}

// A pending unit attention is reported once, by the first command it applies to.
bool VirtualDrive::ReportAttention(CommandReply& reply)
{
    if (attention == Attention::None) return false;
    reply.hasSense = true;
    FillSense(reply.sense, kSenseUnitAttention, attention == Attention::Reset ? kAscPowerOnReset : kAscMediumChanged,
              0x00);
    attention = Attention::None;
    return true;
}

// "A while" of becoming ready is counted in polls of TEST UNIT READY; the commands that read
// the disc report the same state without counting.
void VirtualDrive::TestUnitReady(CommandReply& reply)
{
    MediumReady(reply);
    if (becomingReadyLeft > 0) --becomingReadyLeft;
}

void VirtualDrive::Inquiry(const CommandRequest& request, CommandReply& reply)
{
    using namespace inquiry_data;
    const uint8_t* cdb = request.cdb;
    // Standard data or a vital product data page; no command support data.
    if (Get(cdb, inquiry::kCmdDt) != 0) return RefuseField(reply);
    if (Get(cdb, inquiry::kEvpd) != 0) return InquiryVitalData(request, reply);
    if (Get(cdb, inquiry::kPage) != 0) return RefuseField(reply);
    std::array<uint8_t, kLength> data = kInquiryHeader;
    std::memcpy(data.data() + kVendor.offset, settings.vendor, kVendor.size);
    std::memcpy(data.data() + kProduct.offset, settings.product, kProduct.size);
    std::memcpy(data.data() + kRevision.offset, currentRevision, kRevision.size);
    std::memcpy(data.data() + kVendorSpecific.offset, settings.vendorSpecific, kVendorSpecific.size);
    MoveIn(request, reply, data.data(), std::min<uint32_t>(kLength, Get(cdb, inquiry::kAllocationLength)));
}

void VirtualDrive::ReadFlashId(const CommandRequest& request, CommandReply& reply)
{
    if (request.cdb[1] != kFlashIdentification) {
        return RefuseField(reply);
    }
    MoveIn(request, reply, settings.flashId, flash_id_data::kLength);
}

void VirtualDrive::ReadBuffer(const CommandRequest& request, CommandReply& reply)
{
    const uint8_t* cdb = request.cdb;
    const uint32_t offset = Get(cdb, buffer::kOffset);
    const uint32_t length = Get(cdb, buffer::kLength);
    if (cdb[1] != kReadBufferMode || cdb[2] != kBufferId || offset + length > kDriveBufferSize) {
        return RefuseField(reply);
    }
    MoveIn(request, reply, storage->buffer + offset, length);
}

// WRITE BUFFER carries three things, told apart by the control byte and the offset: the flash
// profile packet, image data for the buffer, and the commit that programs the flash.
void VirtualDrive::WriteBuffer(const CommandRequest& request, CommandReply& reply)
{
    const uint8_t* cdb = request.cdb;
    const uint32_t offset = Get(cdb, buffer::kOffset);
    const uint32_t length = Get(cdb, buffer::kLength);
    const uint8_t control = static_cast<uint8_t>(Get(cdb, buffer::kControl));
    const uint32_t received = BytesOut(request);
    if (cdb[1] != kWriteBufferMode || cdb[2] != kBufferId) {
        return RefuseField(reply);
    }
    if (control == kControlCommit || control == kControlCommitBootCode) {
        if (length != 0 || received != kCommitDataSize) return RefuseField(reply);
        reply.transferred = std::min(kCommitDataSize, dataOutTaken);
        return Commit(control, reply);
    }
    // The data phase must carry exactly the parameter list that the command announces.
    if (offset + length > kDriveBufferSize || received != length) {
        return RefuseField(reply);
    }
    const uint32_t taken = std::min(length, dataOutTaken);
    if (control == kControlProfile) {
        if (offset != 0 || length == 0 || length > kMaxProfilePacket) return RefuseField(reply);
        ReceiveProfile(request, offset, taken);
    } else if (control == kControlImage) {
        // At 080000h a short packet before any image data is the profile; later it is image.
        const bool profile = offset == kProfileOffset && !imageStarted && length > 0 && length <= kMaxProfilePacket;
        if (profile) {
            ReceiveProfile(request, offset, taken);
        } else {
            ReceiveImageData(request, offset, taken);
        }
    } else {
        return RefuseField(reply);
    }
    reply.transferred = taken;
}

void VirtualDrive::ReceiveProfile(const CommandRequest& request, uint32_t offset, uint32_t length)
{
    lastProfile.received = true;
    lastProfile.offset = offset;
    lastProfile.control = static_cast<uint8_t>(Get(request.cdb, buffer::kControl));
    lastProfile.length = length;
    std::memset(lastProfile.bytes, 0, sizeof lastProfile.bytes);
    std::memcpy(lastProfile.bytes, request.data, length);
    profileArmed = true;
    imageStarted = false;
    storage->written.reset();
}

void VirtualDrive::ReceiveImageData(const CommandRequest& request, uint32_t offset, uint32_t length)
{
    if (length == 0) return;
    std::memcpy(storage->buffer + offset, request.data, length);
    const uint32_t end = std::min(offset + length, settings.imageSize);
    for (uint32_t i = offset; i < end; ++i) {
        storage->written.set(i);
    }
    imageStarted = true;
}

// Programs the flash from the buffer. The image is good only when every byte of it arrived
// after a profile packet for this drive's chip (or the drive needs no profile); anything else
// leaves a damaged drive.
void VirtualDrive::Commit(uint8_t control, CommandReply& reply)
{
    const uint32_t arrived = static_cast<uint32_t>(storage->written.count());
    const bool matched = profileArmed && lastProfile.length >= 4 &&
                         std::memcmp(lastProfile.bytes, settings.flashId + flash_id_data::kChipKey.offset,
                                     flash_id_data::kChipKey.size) == 0;
    const bool good = (matched || !settings.needsProfile) && arrived == settings.imageSize;

    std::memcpy(storage->flash, storage->buffer, settings.imageSize);
    commit.state = good ? FlashState::Good : FlashState::Damaged;
    commit.bytesProgrammed = arrived;
    commit.control = control;
    commit.profileMatched = matched;
    ++commit.commitCount;
    std::memcpy(currentRevision, good ? settings.newRevision : settings.damagedRevision, 4);
    reply.seconds += settings.timing.commitSeconds;
    Reset();
}

void VirtualDrive::Reset()
{
    attention = Attention::Reset;
    becomingReadyLeft = settings.becomingReadyPolls;
    RestoreModeDefaults();  // nothing is saved: a reset brings back the defaults
    profileArmed = false;
    imageStarted = false;
    storage->written.reset();
    // A reset ends every prevention of medium removal and wakes the drive.
    preventedByHost = false;
    persistentlyPrevented = false;
    power = PowerState::Active;
}

bool VirtualDrive::TakeDiscAway()
{
    if (!isTrayOpen || !hasDisc) return false;
    hasDisc = false;
    return true;
}

bool VirtualDrive::InsertDisc()
{
    if (!isTrayOpen || hasDisc) return false;
    hasDisc = true;
    return true;
}

void VirtualDrive::Disappear() { isGone = true; }

bool VirtualDrive::AddFault(const Fault& fault)
{
    if (faultCount == kMaxFaults) return false;
    faults[faultCount++] = fault;
    return true;
}

void VirtualDrive::ClearFaults() { faultCount = 0; }

double VirtualDrive::Duration(uint32_t bytesMoved) const
{
    double seconds = settings.timing.commandSeconds;
    if (settings.timing.bytesPerSecond > 0.0) {
        seconds += bytesMoved / settings.timing.bytesPerSecond;
    }
    return seconds;
}

// One trace line, in the form that the console's recording writes too.
void VirtualDrive::Record(const CommandRequest& request, const CommandReply& reply)
{
    if (!traceEnabled && traceFile == nullptr) return;
    static_assert(sizeof request.cdb == scsi::kTraceCdbSize);
    scsi::TracedCommand command;
    command.cdb = request.cdb;
    command.direction = request.direction;
    command.length = request.length;
    command.delivered = reply.delivered;
    command.transferred = reply.transferred;
    command.sense = reply.hasSense ? reply.sense : nullptr;
    command.senseLength = reply.hasSense ? kSenseDataSize : 0;
    char line[96];
    scsi::WriteTraceLine(command, line, sizeof line);
    if (traceFile != nullptr) {
        std::fprintf(traceFile, "%s %s\n", tracePrefix, line);
        std::fflush(traceFile);
    }
    if (traceEnabled) traceLines.emplace_back(line);
}

void VirtualDrive::SetTraceFile(std::FILE* file, const char* prefix)
{
    traceFile = file;
    std::snprintf(tracePrefix, sizeof tracePrefix, "%s", prefix != nullptr ? prefix : "");
}

}  // namespace sim
