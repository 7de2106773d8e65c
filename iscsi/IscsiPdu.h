#pragma once
// The iSCSI protocol data unit as it travels over TCP: a 48-byte basic header segment, optional
// additional header segments, and a data segment padded to four bytes. Only the layout lives
// here: opcodes, flag bits, field offsets and big-endian field access, so that the target and
// the tests' initiator read and write the same bytes.

#include <cstdint>
#include <cstring>

namespace iscsi {

constexpr uint32_t kBhsSize = 48;
constexpr uint32_t kCdbFieldSize = 16;
constexpr uint32_t kReservedTag = 0xFFFFFFFF;  // "no task tag" / "no transfer tag"
// Data segment length before operational negotiation, and the smallest a side may declare.
constexpr uint32_t kDefaultDataSegmentLength = 8192;
constexpr uint32_t kMinDataSegmentLength = 512;
constexpr uint32_t kMaxDataSegmentLength = 16777215;  // 24-bit field
constexpr uint32_t kSenseLengthPrefix = 2;            // sense data travel after a 2-byte length

// Byte 0: the opcode in bits 0..5, the immediate-delivery bit in bit 6.
constexpr uint8_t kOpcodeMask = 0x3F;
constexpr uint8_t kImmediateBit = 0x40;

enum class Opcode : uint8_t {
    // initiator to target
    NopOut = 0x00,
    ScsiCommand = 0x01,
    TaskRequest = 0x02,
    LoginRequest = 0x03,
    TextRequest = 0x04,
    DataOut = 0x05,
    LogoutRequest = 0x06,
    Snack = 0x10,
    // target to initiator
    NopIn = 0x20,
    ScsiResponse = 0x21,
    TaskResponse = 0x22,
    LoginResponse = 0x23,
    TextResponse = 0x24,
    DataIn = 0x25,
    LogoutResponse = 0x26,
    ReadyToTransfer = 0x31,
    AsyncMessage = 0x32,
    Reject = 0x3F,
};

// Byte 1 flags.
constexpr uint8_t kFinalBit = 0x80;
// SCSI Command
constexpr uint8_t kReadBit = 0x40;
constexpr uint8_t kWriteBit = 0x20;
// Data-In and SCSI Response
constexpr uint8_t kAcknowledgeBit = 0x40;
constexpr uint8_t kResidualOverflowBit = 0x04;
constexpr uint8_t kResidualUnderflowBit = 0x02;
constexpr uint8_t kStatusBit = 0x01;
// Login: transit, continue, current stage in bits 2..3, next stage in bits 0..1
constexpr uint8_t kTransitBit = 0x80;
constexpr uint8_t kContinueBit = 0x40;
// Task management: the function in bits 0..6; logout: the reason code in bits 0..6
constexpr uint8_t kFunctionMask = 0x7F;

enum class LoginStage : uint8_t { Security = 0, Operational = 1, FullFeature = 3 };

// Field offsets in the basic header segment.
namespace field {
constexpr int kFlags = 1;
constexpr int kResponse = 2;       // SCSI Response, Task Response, Logout Response, Reject reason
constexpr int kStatus = 3;         // SCSI Response, Data-In with status
constexpr int kVersionMax = 2;     // Login
constexpr int kVersionActive = 3;  // Login Response (Version-min in the request)
constexpr int kTotalAhsLength = 4;
constexpr int kDataSegmentLength = 5;  // 3 bytes
constexpr int kLun = 8;                // 8 bytes
constexpr int kIsid = 8;               // Login: 6 bytes
constexpr int kTsih = 14;              // Login: 2 bytes
constexpr int kTaskTag = 16;
constexpr int kTransferTag = 20;     // also the expected data length of a SCSI Command,
constexpr int kExpectedLength = 20;  // and the referenced task tag of a task request
constexpr int kReferencedTag = 20;
constexpr int kConnectionId = 20;  // Login and Logout: 2 bytes
constexpr int kCommandSn = 24;     // requests
constexpr int kStatSn = 24;        // responses
constexpr int kExpStatSn = 28;     // requests
constexpr int kExpCommandSn = 28;  // responses
constexpr int kMaxCommandSn = 32;  // responses
constexpr int kCdb = 32;           // SCSI Command: 16 bytes
constexpr int kRefCommandSn = 32;  // task request: the CmdSN of the referenced task
constexpr int kDataSn = 36;        // Data-In, Data-Out, and R2TSN of an R2T
constexpr int kLoginStatusClass = 36;
constexpr int kLoginStatusDetail = 37;
constexpr int kBufferOffset = 40;
constexpr int kTime2Wait = 40;  // Logout Response: 2 bytes
constexpr int kTime2Retain = 42;
constexpr int kResidualCount = 44;
constexpr int kDesiredLength = 44;  // R2T
}  // namespace field

// Task management functions and their responses.
enum class TaskFunction : uint8_t {
    AbortTask = 1,
    AbortTaskSet = 2,
    ClearAca = 3,
    ClearTaskSet = 4,
    LogicalUnitReset = 5,
    TargetWarmReset = 6,
    TargetColdReset = 7,
    TaskReassign = 8,
};
constexpr uint8_t kTaskFunctionComplete = 0;
constexpr uint8_t kTaskDoesNotExist = 1;
constexpr uint8_t kTaskLunDoesNotExist = 2;
constexpr uint8_t kTaskFunctionNotSupported = 5;

// Reject reasons.
constexpr uint8_t kRejectCommandNotSupported = 0x05;
constexpr uint8_t kRejectProtocolError = 0x04;
constexpr uint8_t kRejectInvalidField = 0x09;

// Login status classes and details.
constexpr uint8_t kLoginSuccess = 0x00;
constexpr uint8_t kLoginInitiatorError = 0x02;
constexpr uint8_t kLoginTargetError = 0x03;
constexpr uint8_t kDetailMisc = 0x00;
constexpr uint8_t kDetailAuthenticationFailed = 0x01;
constexpr uint8_t kDetailNotFound = 0x03;
constexpr uint8_t kDetailMissingParameter = 0x07;
constexpr uint8_t kDetailUnsupportedVersion = 0x05;
constexpr uint8_t kDetailSessionDoesNotExist = 0x0A;
constexpr uint8_t kDetailInvalidDuringLogin = 0x0B;

inline uint16_t GetBE16(const uint8_t* bytes) { return static_cast<uint16_t>((bytes[0] << 8) | bytes[1]); }
inline uint32_t GetBE24(const uint8_t* bytes)
{
    return (uint32_t{bytes[0]} << 16) | (uint32_t{bytes[1]} << 8) | bytes[2];
}
inline uint32_t GetBE32(const uint8_t* bytes)
{
    return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3];
}
inline void PutBE16(uint8_t* bytes, uint16_t value)
{
    bytes[0] = uint8_t(value >> 8);
    bytes[1] = uint8_t(value);
}
inline void PutBE24(uint8_t* bytes, uint32_t value)
{
    bytes[0] = uint8_t(value >> 16);
    bytes[1] = uint8_t(value >> 8);
    bytes[2] = uint8_t(value);
}
inline void PutBE32(uint8_t* bytes, uint32_t value)
{
    bytes[0] = uint8_t(value >> 24);
    bytes[1] = uint8_t(value >> 16);
    bytes[2] = uint8_t(value >> 8);
    bytes[3] = uint8_t(value);
}

// Data segments are padded to a multiple of four bytes on the wire.
constexpr uint32_t PaddedLength(uint32_t length) { return (length + 3u) & ~3u; }

// One basic header segment, read or written field by field.
struct Bhs {
    uint8_t bytes[kBhsSize] = {};

    Opcode opcode() const { return static_cast<Opcode>(bytes[0] & kOpcodeMask); }
    bool immediate() const { return (bytes[0] & kImmediateBit) != 0; }
    uint8_t flags() const { return bytes[field::kFlags]; }
    uint32_t ahsLength() const { return uint32_t{bytes[field::kTotalAhsLength]} * 4; }
    uint32_t dataLength() const { return GetBE24(bytes + field::kDataSegmentLength); }
    uint32_t Get32(int offset) const { return GetBE32(bytes + offset); }
    uint16_t Get16(int offset) const { return GetBE16(bytes + offset); }

    void Start(Opcode code, uint8_t flagBits)
    {
        std::memset(bytes, 0, sizeof bytes);
        bytes[0] = static_cast<uint8_t>(code);
        bytes[field::kFlags] = flagBits;
    }
    void SetDataLength(uint32_t length) { PutBE24(bytes + field::kDataSegmentLength, length); }
    void Set32(int offset, uint32_t value) { PutBE32(bytes + offset, value); }
    void Set16(int offset, uint16_t value) { PutBE16(bytes + offset, value); }
};

// The logical unit number of an 8-byte LUN field in the single-level peripheral (00b) or flat
// (01b) addressing methods; false for other methods or a multi-level LUN.
inline bool DecodeLun(const uint8_t* lunField, uint16_t& lun)
{
    for (int i = 2; i < 8; ++i) {
        if (lunField[i] != 0) return false;
    }
    const uint8_t method = lunField[0] >> 6;
    if (method == 0 && (lunField[0] & 0x3F) == 0) {
        lun = lunField[1];
        return true;
    }
    if (method == 1) {
        lun = static_cast<uint16_t>(((lunField[0] & 0x3F) << 8) | lunField[1]);
        return true;
    }
    return false;
}

// The LUN field for a logical unit number below 256 (peripheral addressing) or above (flat).
inline void EncodeLun(uint16_t lun, uint8_t* lunField)
{
    std::memset(lunField, 0, 8);
    if (lun < 256) {
        lunField[1] = static_cast<uint8_t>(lun);
    } else {
        lunField[0] = static_cast<uint8_t>(0x40 | ((lun >> 8) & 0x3F));
        lunField[1] = static_cast<uint8_t>(lun);
    }
}

// Serial number arithmetic of the command and status sequence numbers (32 bits).
inline bool SerialLess(uint32_t a, uint32_t b) { return a != b && static_cast<int32_t>(a - b) < 0; }

}  // namespace iscsi
