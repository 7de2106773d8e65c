#pragma once
// The device object for the machine's optical drives: drive table, selection, command
// transport (pass-through or ASPI), drive command set, flash profile step and firmware download.
// One plain class; its definitions are split by concern:
//   device/Transport.cpp      ExecuteCommand, the two paths, error raising, ASPI loading
//   device/DeviceObject.cpp   construction, destruction, CopyStateTo, FreeBuffers
//   device/Discovery.cpp      ScanDrives with both scans, the sort, identification
//   device/DriveTable.cpp     accessors, SelectDrive, CloseDrive, ReidentifyCurrent
//   device/DriveCommands.cpp  the single commands and the composites
//   flash/FlashProfiles.cpp   SendFlashProfile, RunFlashProfileStep
//   flash/Download.cpp        DownloadFirmware, WriteAndVerifyImage, DelayWithMessages

#include <cstdint>
#include <memory>
#include <span>

#include "device/DriveRecord.h"
#include "device/ErrCodeException.h"
#include "platform/Aspi.h"
#include "platform/System.h"
#include "scsi/CommandOutcome.h"
#include "sys/HiTimer.h"
#include "sys/OSInfo.h"

constexpr uint32_t kBufferSize = 65536;
constexpr uint32_t kDefaultCommandTimeoutMs = 108000;
constexpr int16_t kNoDriveSelected = 127;
constexpr int16_t kSelectionFailed = -1;

// Outcome of the last command that was sent.
struct LastCommand {
    scsi::CommandStatus lastStatus;
    uint8_t senseKey;
    uint8_t asc;
    uint8_t ascq;
    double lastElapsed;  // seconds
    bool lastTimedOut;
    uint32_t lastLength;       // bytes its data phase asked to move
    uint32_t lastTransferred;  // bytes it moved
    uint8_t lastCdb[platform::kCdbSize];
};

// What the flash profile step did: the profile went to the drive; the drive named no chip that
// has a profile (the identification completed); or the step could not be carried out (no
// buffer, or the identification or the profile write did not complete).
enum class ProfileOutcome : uint8_t { Sent, NoProfile, CommandFailed };

// Identification of the selected drive, or of the drive being identified.
struct DriveIdentification {
    char vendor[9];
    char product[17];
    char revision[5];
    char vendorSpecific[17];
};

class AtapiDevice {
public:
    explicit AtapiDevice(platform::System& system, bool scan = true);
    ~AtapiDevice();
    AtapiDevice(const AtapiDevice&) = delete;
    AtapiDevice& operator=(const AtapiDevice&) = delete;

    // Drive table and selection.
    uint16_t DriveCount() const { return driveCount; }
    DriveRecord* GetDrive(uint32_t index);
    const DriveRecord* GetDrive(uint32_t index) const;
    // The whole table, for the eligibility check that judges every record below DriveCount.
    std::span<DriveRecord, kMaxDrives> DriveTable() { return drives; }
    uint8_t IsPresent(int16_t index) const;
    int16_t CurrentIndex() const { return currentIndex; }
    bool SelectDrive(int16_t index);
    // Every later selection opens its drive exclusively: for the device objects of an update,
    // which may write the drive's firmware. AccessRefusal tells why the last selection could
    // not open its drive ("" when no reason was given).
    void RequireExclusiveAccess() { exclusiveAccess = true; }
    const char* AccessRefusal() const { return accessRefusal; }
    void CloseDrive();
    bool ReidentifyCurrent();
    void CopyStateTo(AtapiDevice& destination) const;

    // Command transport.
    bool ExecuteCommand(const uint8_t (&cdb)[platform::kCdbSize], platform::DataDirection direction, uint32_t length);
    void EnableErrorRaising() { raiseOnError = true; }
    void DisableErrorRaising() { raiseOnError = false; }
    bool ErrorRaisingEnabled() const { return raiseOnError; }
    void SetCommandTimeout(uint32_t milliseconds) { commandTimeoutMs = milliseconds; }
    bool SenseIs(uint8_t key, uint8_t additionalSenseCode) const;
    bool SenseKeyIs(uint8_t key) const;
    void ChooseTransport();
    bool LoadAspi();
    void UnloadAspi();
    const LastCommand& LastCommandRecord() const { return lastCommand; }
    // The code that raising errors would have raised for the last command's failure.
    uint8_t LastFailureCode() const;

    // Single drive commands.
    bool TestUnitReady();
    bool Inquiry(uint8_t cmdDt, uint8_t evpd, uint8_t page, uint8_t allocation, uint8_t control);
    bool StartStopUnit(uint8_t immed, uint8_t power, uint8_t loej, uint8_t start);
    bool GetEventStatus(uint8_t polled, uint8_t classes, uint32_t allocation, uint8_t control);
    bool ReadFlashId();
    bool ReadBuffer(uint32_t offset, uint32_t length);
    // READ BUFFER of bytes that are then compared with expected (length bytes): the reply area
    // first holds the complement of expected, so that no byte the drive did not send can match.
    bool ReadBufferToCompare(uint32_t offset, uint32_t length, const uint8_t* expected);
    bool WriteBuffer(uint32_t offset, uint32_t length, uint8_t control);

    // Composite drive operations.
    bool WaitReady(int32_t seconds);
    bool IsDiscAbsent();
    void ClearUnitAttention();
    bool IsTrayOpen();
    bool LoadTray();
    bool EjectTray();
    bool StopUnit();

    // Flash profile step: identifies the flash chip and sends its profile. True only when the
    // profile was sent; RunFlashProfileStep tells the download which way the step ended.
    bool SendFlashProfile();
    ProfileOutcome RunFlashProfileStep();

    // Firmware download. The message pump is the step that processes pending window messages
    // during the pause before the commit. Null by default, and the program sets none: the pause
    // runs on the workers' threads, where no window messages arrive, so it is a plain wait.
    using MessagePump = void (*)();
    static void SetMessagePump(MessagePump pump);
    bool DownloadFirmware(const uint8_t* image, int32_t length, uint8_t bootCode);
    bool WriteAndVerifyImage(const uint8_t* image, int32_t length);
    void DelayWithMessages(double seconds);

    // Buffers that every command uses in place.
    uint8_t* InputBuffer() { return inputBuffer.get(); }
    uint8_t* OutputBuffer() { return outputBuffer.get(); }
    void FreeBuffers();

    // Written by the update worker: 0 programmed, 42 failed.
    uint8_t updateResult = 0;

private:
    void ScanDrives();
    void ScanPassThrough();
    void ScanAspi();
    void SortDriveTable();
    bool IdentifyCurrent();
    void CopyIdentificationToRecord(DriveRecord& record) const;

    bool ExecutePassThrough(const uint8_t (&cdb)[platform::kCdbSize], platform::DataDirection direction,
                            uint32_t length);
    bool ExecuteAspi(const uint8_t (&cdb)[platform::kCdbSize], platform::DataDirection direction, uint32_t length);
    bool RefuseCommand();
    void RecordCommand(const uint8_t (&cdb)[platform::kCdbSize], platform::DataDirection direction, uint32_t length,
                       uint32_t transferred, const uint8_t* sense, uint32_t senseLength);
    bool ReportCompleted();
    uint8_t* DataAddress(platform::DataDirection direction, uint32_t length);
    bool ReportSenseData();
    bool AspiReady();
    void SendAspiRequest(platform::EventHandle event);
    bool AbortAspiRequest();
    bool HeldRequestFinished();

    platform::System& system;

    sys::HiTimer waitTimer;
    sys::HiTimer commandTimer;
    platform::PassThroughRequest passThroughRequest{};
    // On the heap, allocated once: a request that the manager never gives back can then be
    // left to it when the object goes, instead of freed under it.
    std::unique_ptr<platform::SRB_ExecSCSICmd> aspiRequest;
    platform::GetAspiSupportInfoEntry getSupportInfo = nullptr;
    platform::SendAspiCommandEntry sendCommand = nullptr;
    uint16_t driveCount = 0;
    platform::AspiLibrary aspiLibrary = nullptr;
    int16_t currentIndex = kNoDriveSelected;
    DriveIdentification current{};
    DriveRecord drives[kMaxDrives]{};
    uint32_t commandTimeoutMs = kDefaultCommandTimeoutMs;
    int16_t host = -1;
    int16_t target = -1;
    int16_t lun = -1;
    int16_t path = -1;
    platform::DriveHandle deviceHandle = platform::kInvalidDriveHandle;
    std::unique_ptr<uint8_t[]> inputBuffer;
    std::unique_ptr<uint8_t[]> outputBuffer;
    sys::OSInfo osInfo;
    bool useAspi = false;
    bool aspiCountsResidual = false;  // the selected drive's ASPI adapter reports bytes not moved
    bool raiseOnError = false;
    bool exclusiveAccess = false;
    char accessRefusal[platform::kRefusalSize] = {};
    LastCommand lastCommand{};
    // An ASPI request still pending after its wait and an abort: the manager may still write
    // into it, its buffers and its event, so none of them is reused or freed meanwhile.
    bool aspiRequestHeld = false;
    platform::EventHandle heldEvent = nullptr;
};
