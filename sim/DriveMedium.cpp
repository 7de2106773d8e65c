// The drive's disc, tray, door lock and power: readiness, the tray commands and the tray button,
// the lock on medium removal, the power conditions, the events the drive reports about them,
// and the commands that read the made-up disc (capacity, table of contents, disc and track
// information, blocks) and the mechanism's state.

#include <array>
#include <cstring>

#include "scsi/Answers.h"
#include "scsi/CommandBlocks.h"
#include "scsi/CommandOutcome.h"
#include "sim/DiscImage.h"
#include "sim/DriveReplies.h"
#include "sim/VirtualDrive.h"

namespace sim {

namespace {

using namespace scsi;

constexpr uint32_t kLastBlock = kDiscBlocks - 1;
constexpr uint8_t kOnlyTrack = 1;
constexpr uint8_t kOnlySession = 1;
// An address in minutes, seconds and frames counts from two seconds before block 0.
constexpr uint32_t kFramesPerSecond = 75;
constexpr uint32_t kSecondsPerMinute = 60;
constexpr uint32_t kMsfOffsetFrames = 150;
// Blocks of one error-correction block of a DVD, the unit a DVD track is recorded in.
constexpr uint32_t kDvdBlockingFactor = 16;

constexpr uint8_t kClassesOffered = event_data::kOperationalClassBit | event_data::kPowerClassBit |
                                    event_data::kMediaClassBit;

uint8_t PowerStatus(PowerState state)
{
    switch (state) {
    case PowerState::Active: return event_data::kPowerStatusActive;
    case PowerState::Idle: return event_data::kPowerStatusIdle;
    case PowerState::Standby: return event_data::kPowerStatusStandby;
    case PowerState::Sleep: return event_data::kPowerStatusSleep;
    }
    return event_data::kPowerStatusActive;
}

// One track descriptor of the table of contents or of the session information.
bool PutTrackDescriptor(uint8_t* descriptor, uint8_t track, uint32_t lba, bool msf)
{
    using namespace toc_data;
    AnswerWriter put{descriptor};
    put(kAdr, kAdrPosition);
    put(kControl, kControlData);
    put(kTrackNumber, track);
    const uint32_t frames = lba + kMsfOffsetFrames;
    if (msf) {
        put(kMinute, frames / (kFramesPerSecond * kSecondsPerMinute));
        put(kSecond, frames / kFramesPerSecond % kSecondsPerMinute);
        put(kFrame, frames % kFramesPerSecond);
    } else {
        put(kAddress, lba);
    }
    return put.fits;
}

}  // namespace

// ---- Readiness, tray and lock -------------------------------------------------------------

// Whether the disc can be read now; if not, the command ends with the reason, as TEST UNIT
// READY reports it.
bool VirtualDrive::MediumReady(CommandReply& reply)
{
    if (becomingReadyLeft > 0) {
        EndWithSense(reply, kSenseNotReady, kAscNotReady, kAscqBecomingReady);
    } else if (isTrayOpen) {
        EndWithSense(reply, kSenseNotReady, kAscMediumNotPresent, kAscqTrayOpen);
    } else if (!hasDisc) {
        EndWithSense(reply, kSenseNotReady, kAscMediumNotPresent, kAscqTrayClosed);
    }
    return !reply.hasSense;
}

// With a power condition the drive changes its power state and ignores the load and start bits.
// Without one, LoEj chooses between the tray (Start: load, else eject) and the disc's motor,
// which the model does not keep. An eject is refused while medium removal is prevented.
void VirtualDrive::StartStopUnit(const CommandRequest& request, CommandReply& reply)
{
    using namespace start_stop;
    const uint8_t* cdb = request.cdb;
    const uint8_t condition = static_cast<uint8_t>(Get(cdb, kPowerCondition));
    if (condition != kNoPowerChange) return ChangePowerState(condition, reply);
    if (Get(cdb, kOtherBits) != 0) return RefuseField(reply);
    if (Get(cdb, kLoadEject) == 0) return;
    if (Get(cdb, kStart) != 0) return Load();
    if (mediumRemovalPrevented()) {
        return EndWithSense(reply, kSenseIllegalRequest, kAscMediumRemovalPrevented, kAscqMediumRemovalPrevented);
    }
    Eject();
}

void VirtualDrive::Eject()
{
    if (isTrayOpen) return;
    isTrayOpen = true;
    becomingReadyLeft = 0;
    if (hasDisc) mediaEvent = MediaEvent::MediaRemoval;
}

void VirtualDrive::Load()
{
    if (!isTrayOpen) return;
    isTrayOpen = false;
    becomingReadyLeft = settings.becomingReadyPolls;
    if (attention == Attention::None) attention = Attention::MediumChanged;
    if (hasDisc) mediaEvent = MediaEvent::NewMedia;
}

// Pushing an open tray in removes nothing, so the lock does not hold it out.
bool VirtualDrive::PressTrayButton()
{
    if (isTrayOpen) {
        Load();
        return true;
    }
    mediaEvent = MediaEvent::EjectRequest;
    if (mediumRemovalPrevented()) return false;
    Eject();  // a disc that goes out with the tray is reported as removed instead
    return true;
}

// Bit 0 prevents or allows; bit 1 says which of the two locks it is about: the ordinary one, or
// the persistent one that the operational change events report.
void VirtualDrive::PreventAllow(const CommandRequest& request, CommandReply&)
{
    using namespace prevent_allow;
    const uint32_t prevent = Get(request.cdb, kPrevent);
    const bool on = (prevent & kPreventBit) != 0;
    if ((prevent & kPersistentBit) != 0) {
        persistentlyPrevented = on;
    } else {
        preventedByHost = on;
    }
}

// ---- Power ----------------------------------------------------------------------------------

void VirtualDrive::ChangePowerState(uint8_t condition, CommandReply& reply)
{
    using namespace start_stop;
    switch (condition) {
    case kPowerActive: return EnterPowerState(PowerState::Active);
    case kPowerIdle: return EnterPowerState(PowerState::Idle);
    case kPowerStandby: return EnterPowerState(PowerState::Standby);
    case kPowerSleep: return EnterPowerState(PowerState::Sleep);
    default: return RefuseField(reply);
    }
}

void VirtualDrive::EnterPowerState(PowerState state)
{
    power = state;
    powerChanged = true;
}

// ---- Events ---------------------------------------------------------------------------------

// Of the classes asked for, the one with an event waiting reports it, the operational change
// class before power management before media; with none waiting the first class asked for
// reports its state. Asked for no class the drive supports, only the header comes back.
void VirtualDrive::GetEventStatus(const CommandRequest& request, CommandReply& reply)
{
    using namespace event_data;
    const uint8_t* cdb = request.cdb;
    if (Get(cdb, event_status::kPolled) == 0) {  // asynchronous notification is not offered
        return RefuseField(reply);
    }
    std::array<uint8_t, kEventLength> data{};
    AnswerWriter put{data.data()};
    const uint8_t asked = static_cast<uint8_t>(Get(cdb, event_status::kClassRequest)) & kClassesOffered;
    const uint32_t length = FillEvent(asked, put);
    if (!put.fits) return RefuseField(reply);
    MoveIn(request, reply, data.data(), std::min<uint32_t>(length, Get(cdb, event_status::kAllocation)));
    // An event counts as reported once its descriptor has reached the host.
    if (reply.transferred <= kHeaderLength) return;
    const uint32_t reported = Get(data.data(), kNotificationClass);
    if (reported == kPowerClassCode) powerChanged = false;
    if (reported == kMediaClassCode) mediaEvent = MediaEvent::None;
}

// Writes the header and the chosen class's descriptor; returns the answer's length. The
// operational change class has no event of its own here: the drive's features never change
// while it runs, so it reports the drive available and whether the persistent lock is on.
uint32_t VirtualDrive::FillEvent(uint8_t classes, AnswerWriter& put)
{
    using namespace event_data;
    put(kSupportedClasses, kClassesOffered);
    if (classes == 0) {
        put(kEventDataLength, kHeaderLength - kEventDataLength.size);
        put(kNoEventAvailable, 1);
        return kHeaderLength;
    }
    uint8_t reported = classes & static_cast<uint8_t>(~classes + 1);  // the first class asked for
    if ((classes & kPowerClassBit) != 0 && powerChanged) {
        reported = kPowerClassBit;
    } else if ((classes & kMediaClassBit) != 0 && mediaEvent != MediaEvent::None) {
        reported = kMediaClassBit;
    }
    put(kEventDataLength, kEventLength - kEventDataLength.size);
    if (reported == kOperationalClassBit) {
        put(kNotificationClass, kOperationalClassCode);
        put(kPersistentPrevented, persistentlyPrevented ? 1 : 0);
    } else if (reported == kPowerClassBit) {
        put(kNotificationClass, kPowerClassCode);
        put(kPowerEvent, powerChanged ? kPowerChangeSucceeded : 0);
        put(kPowerStatus, PowerStatus(power));
    } else {
        put(kNotificationClass, kMediaClassCode);
        put(kMediaEventCode, static_cast<uint8_t>(mediaEvent));
        put(kTrayOpen, isTrayOpen ? 1 : 0);
        // A disc on an open tray is out of the drive's reach: not present, as TEST UNIT READY says.
        put(kMediaPresent, hasDisc && !isTrayOpen ? 1 : 0);
    }
    return kEventLength;
}

// ---- The disc -------------------------------------------------------------------------------

void VirtualDrive::ReadCapacity(const CommandRequest& request, CommandReply& reply)
{
    using namespace capacity_data;
    if (!MediumReady(reply)) return;
    std::array<uint8_t, kLength> data{};
    AnswerWriter put{data.data()};
    put(kLastLba, kLastBlock);
    put(kBlockLength, kDiscBlockSize);
    if (!put.fits) return RefuseField(reply);
    MoveIn(request, reply, data.data(), kLength);
}

// Formats 0 (table of contents: track 1 and the lead-out) and 1 (session information). The
// format may also come in the top bits of the control byte, where older host software puts it.
// Every other format describes recordings that only a CD has.
void VirtualDrive::ReadToc(const CommandRequest& request, CommandReply& reply)
{
    using namespace toc_data;
    const uint8_t* cdb = request.cdb;
    uint32_t format = Get(cdb, read_toc::kFormat);
    if (format == read_toc::kFormatToc) format = Get(cdb, read_toc::kControlFormat);
    const uint32_t track = Get(cdb, read_toc::kTrackOrSession);
    const bool msf = Get(cdb, read_toc::kMsf) != 0;
    const bool toc = format == read_toc::kFormatToc;
    if (!toc && format != read_toc::kFormatSessionInfo) return RefuseField(reply);
    if (toc && track > kOnlyTrack && track != kLeadOutTrack) return RefuseField(reply);
    if (!MediumReady(reply)) return;

    std::array<uint8_t, kHeaderLength + 2 * kDescriptorLength> data{};
    AnswerWriter put{data.data()};
    uint8_t* next = data.data() + kHeaderLength;
    if (!toc || track <= kOnlyTrack) {
        put.fits = PutTrackDescriptor(next, kOnlyTrack, 0, msf) && put.fits;
        next += kDescriptorLength;
    }
    if (toc) {
        put.fits = PutTrackDescriptor(next, kLeadOutTrack, kDiscBlocks, msf) && put.fits;
        next += kDescriptorLength;
    }
    const uint32_t length = static_cast<uint32_t>(next - data.data());
    put(kDataLength, length - kDataLength.size);
    put(kFirstTrack, toc ? kOnlyTrack : kOnlySession);
    put(kLastTrack, toc ? kOnlyTrack : kOnlySession);
    if (!put.fits) return RefuseField(reply);
    MoveIn(request, reply, data.data(), std::min(length, Get(cdb, read_toc::kAllocation)));
}

// A pressed, complete disc of one session with one track.
void VirtualDrive::ReadDiscInformation(const CommandRequest& request, CommandReply& reply)
{
    using namespace disc_info_data;
    const uint8_t* cdb = request.cdb;
    if (Get(cdb, disc_info::kDataType) != disc_info::kStandardInformation) return RefuseField(reply);
    if (!MediumReady(reply)) return;
    std::array<uint8_t, kLength> data{};
    AnswerWriter put{data.data()};
    put(kDataLength, kLength - kDataLength.size);
    put(kErasable, 0);
    put(kLastSessionState, kSessionComplete);
    put(kDiscStatus, kDiscComplete);
    put(kFirstTrack, kOnlyTrack);
    put(kSessionsLow, kOnlySession);
    put(kFirstTrackOfLastSessionLow, kOnlyTrack);
    put(kLastTrackOfLastSessionLow, kOnlyTrack);
    put(kLastLeadInStart, kNoAddress);
    put(kLastPossibleLeadOutStart, kNoAddress);
    if (!put.fits) return RefuseField(reply);
    MoveIn(request, reply, data.data(), std::min<uint32_t>(kLength, Get(cdb, disc_info::kAllocation)));
}

// The one track, asked for by a block address inside it, by its number or by its session's.
void VirtualDrive::ReadTrackInformation(const CommandRequest& request, CommandReply& reply)
{
    using namespace track_info_data;
    const uint8_t* cdb = request.cdb;
    const uint32_t type = Get(cdb, track_info::kAddressType);
    const uint32_t address = Get(cdb, track_info::kAddress);
    const bool known = (type == track_info::kByLba && address <= kLastBlock) ||
                       (type == track_info::kByTrack && address == kOnlyTrack) ||
                       (type == track_info::kBySession && address == kOnlySession);
    if (type == track_info::kByLba && address > kLastBlock) {
        return EndWithSense(reply, kSenseIllegalRequest, kAscLbaOutOfRange, 0x00);
    }
    if (!known) return RefuseField(reply);
    if (!MediumReady(reply)) return;
    std::array<uint8_t, kLength> data{};
    AnswerWriter put{data.data()};
    put(kDataLength, kLength - kDataLength.size);
    put(kTrackNumberLow, kOnlyTrack);
    put(kSessionNumberLow, kOnlySession);
    put(kTrackMode, toc_data::kControlData);
    put(kDataMode, kDataModeOne);
    put(kTrackStart, 0);
    put(kBlockingFactor, kDvdBlockingFactor);
    put(kTrackSize, kDiscBlocks);
    if (!put.fits) return RefuseField(reply);
    MoveIn(request, reply, data.data(), std::min<uint32_t>(kLength, Get(cdb, track_info::kAllocation)));
}

// READ(10) and READ(12). The blocks are made one at a time on the stack and moved as far as the
// host's buffer reaches. Reading spins a resting drive up.
void VirtualDrive::ReadBlocks(const CommandRequest& request, uint32_t lba, uint32_t blocks, CommandReply& reply)
{
    if (!MediumReady(reply)) return;
    if (uint64_t{lba} + blocks > kDiscBlocks) {
        return EndWithSense(reply, kSenseIllegalRequest, kAscLbaOutOfRange, 0x00);
    }
    if (blocks == 0) return;
    if (power != PowerState::Active) EnterPowerState(PowerState::Active);
    headLba = lba + blocks - 1;
    if (request.direction != platform::DataDirection::In || request.data == nullptr) return;
    const uint64_t wanted = std::min<uint64_t>(uint64_t{blocks} * kDiscBlockSize, request.length);
    uint8_t block[kDiscBlockSize];
    for (uint64_t moved = 0; moved < wanted; moved += kDiscBlockSize, ++lba) {
        ReadDiscBlock(lba, block);
        std::memcpy(request.data + moved, block, std::min<uint64_t>(kDiscBlockSize, wanted - moved));
    }
    reply.transferred = static_cast<uint32_t>(wanted);
    reply.offered = blocks * kDiscBlockSize;
}

// The header alone: a drive with one tray and no changer has no slot table.
void VirtualDrive::MechanismStatus(const CommandRequest& request, CommandReply& reply)
{
    using namespace mechanism_data;
    std::array<uint8_t, kHeaderLength> data{};
    AnswerWriter put{data.data()};
    put(kDoorOpen, isTrayOpen ? 1 : 0);
    put(kCurrentLba, headLba);
    if (!put.fits) return RefuseField(reply);
    MoveIn(request, reply, data.data(),
           std::min<uint32_t>(kHeaderLength, Get(request.cdb, mechanism_status::kAllocation)));
}

}  // namespace sim
