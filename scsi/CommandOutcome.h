#pragma once
// How a command ended: the transport's record of it (CommandStatus), the SCSI status that a
// target returns, and the sense data that explain a failure, in fixed format (70h).

#include <cstdint>

namespace scsi {

// The last command's end as the transport records it. The values are those of the record's
// status byte, which the journal and the console report.
enum CommandStatus : uint8_t {
    kCommandFailed = 0,  // the request failed as such, or the command ran past its time-out
    kCommandGood = 1,    // the drive completed the command
    kCommandSense = 2,   // the drive ended the command with sense data
    kCommandShort = 3,   // the drive ended the command good, but its data moved only in part
};

// SCSI status values (SAM).
constexpr uint8_t kStatusGood = 0x00;
constexpr uint8_t kStatusCheckCondition = 0x02;
constexpr uint8_t kStatusBusy = 0x08;
constexpr uint8_t kStatusReservationConflict = 0x18;
constexpr uint8_t kStatusTaskSetFull = 0x28;
constexpr uint8_t kStatusAcaActive = 0x30;
constexpr uint8_t kStatusTaskAborted = 0x40;

// Sense keys.
constexpr uint8_t kSenseNoSense = 0x0;
constexpr uint8_t kSenseNotReady = 0x2;
constexpr uint8_t kSenseIllegalRequest = 0x5;
constexpr uint8_t kSenseUnitAttention = 0x6;

// Additional sense codes, and the qualifiers that go with them here.
constexpr uint8_t kAscNotReady = 0x04;        // logical unit not ready
constexpr uint8_t kAscqBecomingReady = 0x01;  //   ... in process of becoming ready
constexpr uint8_t kAscInvalidOpcode = 0x20;   // invalid command operation code
constexpr uint8_t kAscInvalidFieldInCdb = 0x24;
constexpr uint8_t kAscParameterListLength = 0x1A;  // parameter list length error
constexpr uint8_t kAscInvalidFieldInParameterList = 0x26;
constexpr uint8_t kAscSavingNotSupported = 0x39;  // saving parameters not supported
constexpr uint8_t kAscLunNotSupported = 0x25;
constexpr uint8_t kAscMediumChanged = 0x28;  // not ready to ready change, medium may have changed
constexpr uint8_t kAscPowerOnReset = 0x29;   // power on, reset or bus device reset occurred
constexpr uint8_t kAscMediumNotPresent = 0x3A;
constexpr uint8_t kAscqTrayClosed = 0x01;  //   ... tray closed
constexpr uint8_t kAscqTrayOpen = 0x02;    //   ... tray open
// The disc, the tray and the power.
constexpr uint8_t kAscLbaOutOfRange = 0x21;           // logical block address out of range
constexpr uint8_t kAscMediumRemovalPrevented = 0x53;  // with the qualifier below
constexpr uint8_t kAscqMediumRemovalPrevented = 0x02;

// Fixed-format sense data, as the drive model writes it: where the key, the code and the
// qualifier are. Sense is read through NormaliseSense (scsi/Sense.h), in either format.
constexpr uint8_t kFixedSenseCurrent = 0x70;
constexpr int kSenseKeyByte = 2;
constexpr uint8_t kSenseKeyMask = 0x0F;
constexpr int kAdditionalLengthByte = 7;
constexpr int kAscByte = 12;
constexpr int kAscqByte = 13;

// Descriptor-format sense data (72h) as the drive model writes it: the header alone, eight bytes.
constexpr int kDescriptorSenseHeaderSize = 8;
constexpr int kDescriptorSenseKeyByte = 1;
constexpr int kDescriptorSenseAscByte = 2;
constexpr int kDescriptorSenseAscqByte = 3;
constexpr int kDescriptorSenseLengthByte = 7;

// The drive did not take the command: it is busy, reserved for another initiator, its queue is
// full, or it aborted the task. None of these comes with sense data.
constexpr bool StatusRefusesCommand(uint8_t status)
{
    switch (status & 0xFE) {
    case kStatusBusy:
    case kStatusReservationConflict:
    case kStatusTaskSetFull:
    case kStatusAcaActive:
    case kStatusTaskAborted: return true;
    default: return false;
    }
}

}  // namespace scsi
