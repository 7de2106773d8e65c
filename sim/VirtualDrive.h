#pragma once
// A model of the DVD rewriter that Norvik updates: it answers 12-byte command blocks as the
// drive does (identification, readiness, tray, media events, flash identification, the drive
// buffer and the flash commit), keeps a trace of every command, and can be told to misbehave.
// The drive knows nothing of clocks: every answer says how long the command took, and the
// virtual system spends that time (sleeping, or advancing its virtual clock).
//
// A drive is used by one thread at a time.

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/System.h"
#include "scsi/Answers.h"

namespace sim {

constexpr uint32_t kDriveBufferSize = 1048576;              // the drive's WRITE/READ BUFFER area
constexpr int kFlashIdSize = scsi::flash_id_data::kLength;  // reply of the flash identification
constexpr int kSenseDataSize = 18;                          // fixed-format sense data (70h)
constexpr uint32_t kMaxProfilePacket = 4096;                // largest flash profile packet the drive takes
constexpr uint32_t kCommitDataSize = 16;                    // data-out phase of the commit command
constexpr uint32_t kProfileOffset = 0x080000;               // where a control-00h profile packet goes
constexpr int kMaxFaults = 16;
constexpr int kMaxSerialLength = 16;  // the unit serial number of INQUIRY page 80h
constexpr int kKeptModeBytes = 48;    // the current values of the mode pages a host may change

// Per-drive timing. All zero: every command is instant.
struct DriveTiming {
    double commandSeconds = 0.0;  // latency of every command
    double bytesPerSecond = 0.0;  // data phase rate; 0: data move in no time
    double commitSeconds = 0.0;   // flash programming after the commit command

    static DriveTiming Instant() { return {}; }
    static DriveTiming Realistic() { return {0.001, 8000000.0, 12.0}; }
};
constexpr uint32_t kDefaultBecomingReadyPolls = 3;
constexpr uint32_t kRealisticBecomingReadyPolls = 10;

// What the drive is and holds when it is made. Texts are fixed-width fields, space-padded as
// in the inquiry data, with a terminating zero.
struct DriveConfig {
    char vendor[9] = "TALVORE ";
    char product[17] = "DVDRW KRX-407T  ";
    char revision[5] = "RN05";
    char newRevision[5] = "RN08";                              // reported after a good commit
    char damagedRevision[5] = "DEAD";                          // reported after a commit that programmed a bad image
    uint8_t vendorSpecific[16] = {};                           // inquiry bytes 36..51
    char serial[kMaxSerialLength + 1] = "KX407T6A0417";        // 1..16 printable characters, as given
    uint8_t flashId[kFlashIdSize] = {0xBF, 0xD6, 0x00, 0x01};  // bytes 0..3: the chip key
    uint32_t imageSize = kDriveBufferSize;                     // bytes a good commit needs since the profile
    uint32_t becomingReadyPolls = kDefaultBecomingReadyPolls;  // after a load or a reset
    // The drive's boot code programs the flash only after the profile of its chip; a drive
    // without that need takes any complete image (profile=unneeded).
    bool needsProfile = true;
    bool discPresent = false;
    bool trayOpen = false;
    // The drive starts with medium removal prevented, as if another program held the door
    // locked (lock=prevented).
    bool mediumRemovalPrevented = false;
    DriveTiming timing;
};

// The drive's power condition, as START STOP UNIT sets it and the power class of its events
// reports it.
enum class PowerState : uint8_t { Active, Idle, Standby, Sleep };
struct AnswerWriter;  // sim/DriveReplies.h

// One command as the host hands it over.
struct CommandRequest {
    uint8_t cdb[platform::kCdbSize];
    platform::DataDirection direction;
    uint8_t* data;          // host's data buffer; null when there is no data phase
    uint32_t length;        // host's transfer length
    double timeoutSeconds;  // the transport cuts the command off after this; 0: never
};

// The drive's answer.
struct CommandReply {
    bool delivered;  // false: the request failed as such (no status, no sense)
    bool hasSense;   // check condition with the sense data below
    uint8_t sense[kSenseDataSize];
    uint32_t transferred;  // bytes moved in the data phase
    double seconds;        // how long the command took
    // Bytes a data-in reply held before the host's transfer length cut it off (the command's
    // own allocation applied): more than the host's length tells it that it asked too little.
    uint32_t offered;
};

enum class FlashState : uint8_t { Untouched, Good, Damaged };

// Outcome of the last commit command.
struct CommitReport {
    FlashState state = FlashState::Untouched;
    uint32_t bytesProgrammed = 0;  // image bytes that had arrived since the profile packet
    uint8_t control = 0;           // commit control byte received (80h or A0h)
    bool profileMatched = false;   // a profile packet with the drive's chip key came first
    uint32_t commitCount = 0;
};

// The last flash profile packet the drive received.
struct ProfileRecord {
    bool received = false;
    uint32_t offset = 0;
    uint8_t control = 0;
    uint32_t length = 0;
    uint8_t bytes[kMaxProfilePacket] = {};
};

enum class FaultKind : uint8_t {
    Sense,          // the command ends with the given sense data and has no effect
    RequestFails,   // the request fails as such and has no effect
    Slow,           // the command takes the given extra seconds
    CorruptReply,   // one byte of the data-in reply is inverted, at the given reply offset
    Disappear,      // the drive is gone: this and every later request fails as such
    ShortTransfer,  // the data phase moves at most the given bytes, and the command ends good
};

enum class FaultTrigger : uint8_t {
    Opcode,    // the number-th command with this opcode (1-based)
    Sequence,  // the number-th command the drive receives (1-based, the trace line)
};

struct Fault {
    FaultKind kind = FaultKind::Sense;
    FaultTrigger trigger = FaultTrigger::Sequence;
    uint8_t opcode = 0;
    uint32_t number = 1;
    uint32_t repeat = 1;  // how many matching commands from the number-th; 0: all
    uint8_t senseKey = 0;
    uint8_t asc = 0;
    uint8_t ascq = 0;
    double seconds = 0.0;      // Slow
    uint32_t replyOffset = 0;  // CorruptReply
    uint32_t bytesMoved = 0;   // ShortTransfer
};

class VirtualDrive {
public:
    explicit VirtualDrive(const DriveConfig& config = DriveConfig{});
    ~VirtualDrive();
    VirtualDrive(const VirtualDrive&) = delete;
    VirtualDrive& operator=(const VirtualDrive&) = delete;

    // Carries out one command, as the drive at the end of the cable does.
    CommandReply Execute(const CommandRequest& request);

    // The world around the drive: a hand at the tray, the power, the cable.
    bool TakeDiscAway();  // false when the tray is closed or empty
    bool InsertDisc();    // false when the tray is closed or holds a disc already
    void Reset();         // as at power-on: unit attention 6/29/00, then becoming ready
    void Disappear();

    // ---- The disc, the tray and the power
    // A finger on the tray button: opens a closed tray, closes an open one. While medium removal
    // is prevented a closed tray stays closed and the drive reports an eject request instead, so
    // that whoever holds the lock may let the disc go. True when the tray moved.
    bool PressTrayButton();
    bool mediumRemovalPrevented() const { return preventedByHost || persistentlyPrevented; }
    PowerState powerState() const { return power; }

    // Faults; false when the list is full.
    bool AddFault(const Fault& fault);
    void ClearFaults();

    // Trace: one line per command received. On by default.
    void SetTraceEnabled(bool enabled) { traceEnabled = enabled; }
    void ClearTrace() { traceLines.clear(); }
    const std::vector<std::string>& trace() const { return traceLines; }
    // Besides: each trace line written to file as its command is answered, behind prefix and a
    // space, and flushed, so that a run that is killed keeps every command sent. Drives on
    // several threads may share one file (stdio locks each call). Null: none.
    void SetTraceFile(std::FILE* file, const char* prefix);

    const DriveConfig& config() const { return settings; }
    const char* revision() const { return currentRevision; }
    bool trayOpen() const { return isTrayOpen; }
    bool discPresent() const { return hasDisc; }
    bool gone() const { return isGone.load(); }
    FlashState flashState() const { return commit.state; }
    const CommitReport& lastCommit() const { return commit; }
    const ProfileRecord& profile() const { return lastProfile; }
    const uint8_t* buffer() const;  // kDriveBufferSize bytes
    const uint8_t* flash() const;   // kDriveBufferSize bytes, as last programmed
    uint32_t commandCount() const { return commandsReceived; }
    // The time the drive's timing model has accounted for: the sum of every command's duration
    // as answered (a command cut off at the host's time-out counts with that time-out).
    double modelledSeconds() const { return secondsModelled; }

private:
    enum class Attention : uint8_t { None, MediumChanged, Reset };
    enum class MediaEvent : uint8_t { None = 0, EjectRequest = 1, NewMedia = 2, MediaRemoval = 3 };
    struct Storage;
    struct FaultEffects;

    void CollectFaults(uint8_t opcode, FaultEffects& effects);
    void Answer(const CommandRequest& request, const FaultEffects& effects, CommandReply& reply);
    void Dispatch(const CommandRequest& request, CommandReply& reply);
    bool ReportAttention(CommandReply& reply);
    void TestUnitReady(CommandReply& reply);
    void Inquiry(const CommandRequest& request, CommandReply& reply);
    void StartStopUnit(const CommandRequest& request, CommandReply& reply);
    void GetEventStatus(const CommandRequest& request, CommandReply& reply);
    // ---- The disc, the tray and the power (DriveMedium.cpp)
    bool MediumReady(CommandReply& reply);
    void ChangePowerState(uint8_t condition, CommandReply& reply);
    void EnterPowerState(PowerState state);
    void PreventAllow(const CommandRequest& request, CommandReply& reply);
    void ReadCapacity(const CommandRequest& request, CommandReply& reply);
    void ReadToc(const CommandRequest& request, CommandReply& reply);
    void ReadDiscInformation(const CommandRequest& request, CommandReply& reply);
    void ReadTrackInformation(const CommandRequest& request, CommandReply& reply);
    void ReadBlocks(const CommandRequest& request, uint32_t lba, uint32_t blocks, CommandReply& reply);
    void MechanismStatus(const CommandRequest& request, CommandReply& reply);
    uint32_t FillEvent(uint8_t classes, AnswerWriter& put);
    void ReadFlashId(const CommandRequest& request, CommandReply& reply);
    void ReadBuffer(const CommandRequest& request, CommandReply& reply);
    void WriteBuffer(const CommandRequest& request, CommandReply& reply);
    void ReceiveProfile(const CommandRequest& request, uint32_t offset, uint32_t length);
    void ReceiveImageData(const CommandRequest& request, uint32_t offset, uint32_t length);
    void Commit(uint8_t control, CommandReply& reply);
    void Load();
    void Eject();
    double Duration(uint32_t bytesMoved) const;
    void Record(const CommandRequest& request, const CommandReply& reply);

    // ---- Identification, sense and configuration (DriveIdentity.cpp)
    bool AnswerBeforeAttention(const CommandRequest& request, CommandReply& reply);
    bool AnswerModeCommand(const CommandRequest& request, CommandReply& reply);
    void RequestSense(const CommandRequest& request, CommandReply& reply);
    void InquiryVitalData(const CommandRequest& request, CommandReply& reply);
    void GetConfiguration(const CommandRequest& request, CommandReply& reply);
    void ModeSense(const CommandRequest& request, CommandReply& reply);
    void ModeSelect(const CommandRequest& request, CommandReply& reply);
    void ReportLuns(const CommandRequest& request, CommandReply& reply);
    uint32_t WriteModePage(uint8_t code, uint8_t pageControl, uint8_t* page) const;
    void RestoreModeDefaults();
    void ShapeSense(CommandReply& reply) const;
    uint16_t CurrentProfile() const;
    bool LockedByHost() const;

    DriveConfig settings;
    std::unique_ptr<Storage> storage;
    char currentRevision[5];
    bool isTrayOpen;
    bool hasDisc;
    std::atomic<bool> isGone{false};
    Attention attention = Attention::None;
    MediaEvent mediaEvent = MediaEvent::None;
    uint32_t becomingReadyLeft = 0;
    // ---- The disc, the tray and the power
    bool preventedByHost = false;        // PREVENT ALLOW MEDIUM REMOVAL, or the drive's setting
    bool persistentlyPrevented = false;  // its persistent form
    PowerState power = PowerState::Active;
    bool powerChanged = false;           // a power event not yet reported
    uint32_t headLba = 0;                // where the last read ended
    bool profileArmed = false;           // a profile packet arrived since the last reset
    bool imageStarted = false;           // image data arrived since the last profile packet or reset
    uint32_t dataOutTaken = UINT32_MAX;  // most bytes of a data-out phase the drive takes now
    ProfileRecord lastProfile;
    CommitReport commit;
    std::array<Fault, kMaxFaults> faults{};
    int faultCount = 0;
    std::array<uint32_t, 256> opcodeCounts{};
    uint32_t commandsReceived = 0;
    double secondsModelled = 0.0;
    bool traceEnabled = true;
    std::vector<std::string> traceLines;
    std::FILE* traceFile = nullptr;
    char tracePrefix[platform::kRootPathSize] = {};

    // ---- Identification, sense and configuration
    std::array<uint8_t, kKeptModeBytes> modeValues{};  // current values of the mode pages a host may change
};

// Sense data in fixed format (70h): key in byte 2, ASC in byte 12, ASCQ in byte 13.
void FillSense(uint8_t (&sense)[kSenseDataSize], uint8_t key, uint8_t asc, uint8_t ascq);
// Sense data in descriptor format (72h): the eight-byte header without descriptors (key in
// byte 1, ASC in byte 2, ASCQ in byte 3), the rest zero.
void FillDescriptorSense(uint8_t (&sense)[kSenseDataSize], uint8_t key, uint8_t asc, uint8_t ascq);

}  // namespace sim
