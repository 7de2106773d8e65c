// The command transport: ExecuteCommand over SCSI pass-through or an ASPI manager, the
// last-command record, error raising, and the loading of the ASPI manager.

#include <algorithm>
#include <cstring>

#include "device/AtapiDevice.h"
#include "scsi/Opcodes.h"
#include "scsi/Sense.h"

namespace {

using platform::DataDirection;

// A failed request is sent once more while errors are raised; never a third time.
constexpr int kAttempts = 2;

// How long an aborted ASPI request may take to come back from the manager.
constexpr uint32_t kAbortPollMs = 10;
constexpr int kAbortPolls = 500;

// Sense bytes of a command whose request the manager still holds: none are read from it.
constexpr uint8_t kNoSense[platform::kSenseSize] = {};

// The buffer commands carry the image and its read-back: they count only when every byte of
// their data phase moved. Other commands ask for at most their length (an allocation length),
// and a drive may answer with less.
bool MustMoveWholeLength(const uint8_t (&cdb)[platform::kCdbSize])
{
    return cdb[0] == scsi::opcode::kWriteBuffer || cdb[0] == scsi::opcode::kReadBuffer;
}

// Bytes a data phase asks to move.
uint32_t DataPhaseLength(DataDirection direction, uint32_t length)
{
    return direction == DataDirection::None ? 0 : length;
}

// Bytes a completed ASPI request moved. Classic ASPI reports no count: only an adapter that
// counts the residual, asked with SRB_ENABLE_RESIDUAL_COUNT, leaves in SRB_BufLen the bytes that
// did not move. Without one, the asked length is all there is to go by, and a short read-back is
// caught by its comparison alone.
uint32_t AspiBytesMoved(const platform::SRB_ExecSCSICmd& request, uint32_t length, bool residualCounted)
{
    if (!residualCounted) return length;
    return length - std::min(request.SRB_BufLen, length);
}

// A command fits when its length stays within the buffers and its data phase has a buffer.
bool TransferFits(const uint8_t* data, DataDirection direction, uint32_t length)
{
    if (length > kBufferSize) return false;
    return data != nullptr || length == 0 || direction == DataDirection::None;
}

void FillPassThroughRequest(platform::PassThroughRequest& request, const uint8_t (&cdb)[platform::kCdbSize],
                            DataDirection direction, uint8_t* data, uint32_t length, uint32_t timeoutMs)
{
    request = platform::PassThroughRequest{};
    std::memcpy(request.cdb, cdb, platform::kCdbSize);
    request.direction = direction;
    request.data = data;
    request.length = length;
    request.timeoutMs = timeoutMs;
}

uint8_t AspiDirectionBits(DataDirection direction)
{
    switch (direction) {
    case DataDirection::Out: return platform::SRB_DIR_OUT;
    case DataDirection::In: return platform::SRB_DIR_IN;
    default: return 0;
    }
}

// The manager may write the status from another thread; what it wrote before is visible once
// the status is.
uint8_t AspiStatus(const platform::SRB_ExecSCSICmd& request)
{
    return __atomic_load_n(&request.SRB_Status, __ATOMIC_ACQUIRE);
}

struct AspiMessage {
    const char* text;
    const char* caption;
};

AspiMessage SupportStatusMessage(uint8_t status)
{
    constexpr const char* kCaption = "GetASPISupportInfo:";
    switch (status) {
    case platform::SS_NO_ASPI: return {"Could not find the ASPI manager.", kCaption};
    case platform::SS_ILLEGAL_MODE: return {"ASPI for Windows does not support real mode.", kCaption};
    case platform::SS_OLD_MANAGER: return {"Old ASPI manager.", kCaption};
    default: return {"Error initializing ASPI.", kCaption};
    }
}

}  // namespace

bool AtapiDevice::ExecuteCommand(const uint8_t (&cdb)[platform::kCdbSize], DataDirection direction, uint32_t length)
{
    if (!osInfo.IsNT() || useAspi) return ExecuteAspi(cdb, direction, length);
    return ExecutePassThrough(cdb, direction, length);
}

bool AtapiDevice::ExecutePassThrough(const uint8_t (&cdb)[platform::kCdbSize], DataDirection direction, uint32_t length)
{
    uint8_t* data = DataAddress(direction, length);
    if (deviceHandle == platform::kInvalidDriveHandle || !TransferFits(data, direction, length)) return RefuseCommand();

    for (int attempt = 1;; ++attempt) {
        FillPassThroughRequest(passThroughRequest, cdb, direction, data, length, commandTimeoutMs);
        commandTimer.Start(true);
        const bool carriedOut = system.SendPassThrough(deviceHandle, passThroughRequest);
        commandTimer.Stop();
        RecordCommand(cdb, direction, length, passThroughRequest.transferred, passThroughRequest.sense,
                      platform::kSenseSize);

        if (carriedOut && lastCommand.senseKey == 0 && !lastCommand.lastTimedOut) return ReportCompleted();
        lastCommand.lastTransferred = 0;
        // A request that failed as such ranks before sense data on this path.
        if (carriedOut && !lastCommand.lastTimedOut) return ReportSenseData();
        lastCommand.lastStatus = scsi::kCommandFailed;
        if (!raiseOnError) return false;
        // A time-out is raised at once; another failure after the second attempt.
        if (lastCommand.lastTimedOut || attempt == kAttempts) throw ErrCodeException(LastFailureCode());
    }
}

bool AtapiDevice::ExecuteAspi(const uint8_t (&cdb)[platform::kCdbSize], DataDirection direction, uint32_t length)
{
    uint8_t* data = DataAddress(direction, length);
    if (host == -1 || target == -1 || !AspiReady() || !TransferFits(data, direction, length)) return RefuseCommand();

    platform::SRB_ExecSCSICmd& request = *aspiRequest;
    request = platform::SRB_ExecSCSICmd{};
    request.SRB_Cmd = platform::SC_EXEC_SCSI_CMD;
    request.SRB_HaId = static_cast<uint8_t>(host);
    request.SRB_Flags = AspiDirectionBits(direction);
    if (aspiCountsResidual) request.SRB_Flags |= platform::SRB_ENABLE_RESIDUAL_COUNT;
    request.SRB_Target = static_cast<uint8_t>(target);
    request.SRB_Lun = static_cast<uint8_t>(lun);
    request.SRB_BufPointer = data;
    request.SRB_SenseLen = platform::kAspiSenseLength;
    request.SRB_CDBLen = platform::kCdbSize;
    std::memcpy(request.CDBByte, cdb, platform::kCdbSize);

    for (int attempt = 1;; ++attempt) {
        // A manager that counts the residual leaves it here: every attempt asks for the length again.
        request.SRB_BufLen = length;
        const platform::EventHandle event = system.CreateEvent();
        commandTimer.Start(true);
        SendAspiRequest(event);
        commandTimer.Stop();
        RecordCommand(cdb, direction, length, 0, aspiRequestHeld ? kNoSense : request.SenseArea,
                      platform::kAspiSenseLength);

        const uint8_t status = aspiRequestHeld ? platform::SS_PENDING : AspiStatus(request);
        if (status == platform::SS_COMP && lastCommand.senseKey == 0 && !lastCommand.lastTimedOut) {
            lastCommand.lastTransferred = AspiBytesMoved(request, lastCommand.lastLength, aspiCountsResidual);
            return ReportCompleted();
        }
        // Sense data rank before a status other than SS_COMP on this path.
        if (lastCommand.senseKey != 0 && !lastCommand.lastTimedOut) return ReportSenseData();
        lastCommand.lastStatus = scsi::kCommandFailed;
        if (!raiseOnError) return false;
        // A time-out is raised at once; another failure after the second attempt, or at once when
        // the manager still holds the request, which cannot be sent again.
        if (lastCommand.lastTimedOut || attempt == kAttempts || aspiRequestHeld)
            throw ErrCodeException(LastFailureCode());
    }
}

// Hands the request to the manager and waits for its end: for the event when there is one,
// else by reading the status. Both waits end after the command time-out; a request still
// pending then is aborted, and if the manager does not give it back it stays held.
void AtapiDevice::SendAspiRequest(platform::EventHandle event)
{
    platform::SRB_ExecSCSICmd& request = *aspiRequest;
    request.SRB_Flags = static_cast<uint8_t>(request.SRB_Flags & ~platform::SRB_EVENT_NOTIFY);
    request.SRB_PostProc = event;
    if (event != nullptr) request.SRB_Flags |= platform::SRB_EVENT_NOTIFY;

    sendCommand(aspiLibrary, &request);
    if (event != nullptr) {
        if (AspiStatus(request) == platform::SS_PENDING) system.WaitForEvent(event, commandTimeoutMs);
    } else {
        while (AspiStatus(request) == platform::SS_PENDING && commandTimer.Elapsed() * 1000.0 < commandTimeoutMs) {
        }
    }

    if (AspiStatus(request) == platform::SS_PENDING && !AbortAspiRequest()) {
        aspiRequestHeld = true;
        heldEvent = event;
        return;
    }
    if (event != nullptr) system.CloseEvent(event);
}

// Asks the manager to give the pending request up and waits a bounded time for it to end.
bool AtapiDevice::AbortAspiRequest()
{
    if (sendCommand != nullptr) {
        platform::SRB_Abort abort{};
        abort.SRB_Cmd = platform::SC_ABORT_SRB;
        abort.SRB_HaId = aspiRequest->SRB_HaId;
        abort.SRB_ToAbort = aspiRequest.get();
        sendCommand(aspiLibrary, &abort);
    }
    for (int poll = 0; poll < kAbortPolls; ++poll) {
        if (AspiStatus(*aspiRequest) != platform::SS_PENDING) return true;
        system.Sleep(kAbortPollMs);
    }
    return AspiStatus(*aspiRequest) != platform::SS_PENDING;
}

// True when the manager holds no request of this object (any more).
bool AtapiDevice::HeldRequestFinished()
{
    if (!aspiRequestHeld) return true;
    if (AspiStatus(*aspiRequest) == platform::SS_PENDING) return false;
    if (heldEvent != nullptr) system.CloseEvent(heldEvent);
    heldEvent = nullptr;
    aspiRequestHeld = false;
    return true;
}

// The ASPI path needs a loaded manager, the request block, and the block back from the manager.
bool AtapiDevice::AspiReady()
{
    return aspiLibrary != nullptr && sendCommand != nullptr && aspiRequest != nullptr && HeldRequestFinished();
}

bool AtapiDevice::RefuseCommand()
{
    if (raiseOnError) throw ErrCodeException(ErrCodeException::kNotCarriedOut);
    return false;
}

// A command the drive ended well. A buffer command that moved fewer bytes than asked has failed
// all the same: the drive's buffer lacks part of an image block, or a read-back holds bytes the
// drive never sent. The record keeps the bytes that did move.
bool AtapiDevice::ReportCompleted()
{
    if (lastCommand.lastTransferred < lastCommand.lastLength && MustMoveWholeLength(lastCommand.lastCdb)) {
        lastCommand.lastStatus = scsi::kCommandShort;
        if (raiseOnError) throw ErrCodeException(LastFailureCode());
        return false;
    }
    lastCommand.lastStatus = scsi::kCommandGood;
    return true;
}

bool AtapiDevice::ReportSenseData()
{
    lastCommand.lastStatus = scsi::kCommandSense;
    if (raiseOnError) throw ErrCodeException(LastFailureCode());
    return false;
}

void AtapiDevice::RecordCommand(const uint8_t (&cdb)[platform::kCdbSize], DataDirection direction, uint32_t length,
                                uint32_t transferred, const uint8_t* sense, uint32_t senseLength)
{
    std::memcpy(lastCommand.lastCdb, cdb, platform::kCdbSize);
    lastCommand.lastLength = DataPhaseLength(direction, length);
    lastCommand.lastElapsed = commandTimer.Total();
    // The limit is whole seconds: 108000 ms allows 108.0 s, and a command taking exactly that is in time.
    lastCommand.lastTimedOut = lastCommand.lastElapsed > commandTimeoutMs / 1000;
    lastCommand.lastTransferred = transferred;
    // The manager of the ASPI path hands the sense on as the drive wrote it, in either format.
    scsi::SenseFields fields;
    scsi::NormaliseSense(sense, senseLength, fields);
    lastCommand.senseKey = fields.key;
    lastCommand.asc = fields.asc;
    lastCommand.ascq = fields.ascq;
}

uint8_t* AtapiDevice::DataAddress(DataDirection direction, uint32_t length)
{
    if (length == 0) return nullptr;
    switch (direction) {
    case DataDirection::Out: return outputBuffer.get();
    case DataDirection::In: return inputBuffer.get();
    default: return nullptr;
    }
}

// A transfer that moved only part of its bytes counts as a command not carried out.
uint8_t AtapiDevice::LastFailureCode() const
{
    if (lastCommand.lastStatus == scsi::kCommandSense) return lastCommand.senseKey;
    if (lastCommand.lastTimedOut) return ErrCodeException::kTimedOut;
    return ErrCodeException::kNotCarriedOut;
}

bool AtapiDevice::SenseIs(uint8_t key, uint8_t additionalSenseCode) const
{
    return lastCommand.senseKey == key && lastCommand.asc == additionalSenseCode;
}

bool AtapiDevice::SenseKeyIs(uint8_t key) const { return lastCommand.senseKey == key; }

void AtapiDevice::ChooseTransport()
{
    useAspi = !osInfo.IsNT();
    UnloadAspi();
    if (useAspi) LoadAspi();
}

bool AtapiDevice::LoadAspi()
{
    UnloadAspi();
    constexpr auto kError = platform::MessageIcon::Error;
    // A missing library or entry point: nothing stays loaded, then the message.
    const auto giveUp = [&](const char* text, const char* caption) {
        UnloadAspi();
        system.ShowMessage(text, caption, kError);
        return false;
    };
    aspiLibrary = system.LoadAspiLibrary(platform::kAspiLibraryName);
    if (aspiLibrary == nullptr) return giveUp("LoadLibrary:\nWNASPI32.DLL not found.", "Error FS 002");
    getSupportInfo = reinterpret_cast<platform::GetAspiSupportInfoEntry>(
        system.FindAspiEntry(aspiLibrary, platform::kGetSupportInfoName));
    if (getSupportInfo == nullptr) return giveUp("GetProcAddress:\nGetASPI32SupportInfo not fount.", "Error FS 003");
    sendCommand = reinterpret_cast<platform::SendAspiCommandEntry>(
        system.FindAspiEntry(aspiLibrary, platform::kSendCommandName));
    if (sendCommand == nullptr) return giveUp("GetProcAddress:\npfnSendASPI32Command not found.", "Error FS 004");
    const uint8_t status = static_cast<uint8_t>(getSupportInfo(aspiLibrary) >> 8);
    if (status == platform::SS_COMP) return true;
    const AspiMessage message = SupportStatusMessage(status);
    system.ShowMessage(message.text, message.caption, kError);
    UnloadAspi();
    return false;
}

// Entry points never outlive their library: with them cleared the ASPI path refuses commands
// and the ASPI scan finds nothing.
void AtapiDevice::UnloadAspi()
{
    // A manager still working on one of this object's requests stays loaded to finish it.
    if (aspiLibrary != nullptr && !aspiRequestHeld) system.FreeAspiLibrary(aspiLibrary);
    aspiLibrary = nullptr;
    getSupportInfo = nullptr;
    sendCommand = nullptr;
}
