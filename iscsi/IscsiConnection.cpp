// One iSCSI connection of the target: login, commands and their data, task management, logout.

#include "iscsi/IscsiConnection.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "scsi/CommandOutcome.h"
#include "scsi/Opcodes.h"
#include "scsi/Sense.h"

namespace iscsi {

namespace {

constexpr size_t kOutboxCompactSize = 1048576;

uint8_t CurrentStage(const Bhs& request) { return (request.flags() >> 2) & 0x03; }
uint8_t NextStage(const Bhs& request) { return request.flags() & 0x03; }

// A request that failed as such has no status from the drive: the target reports the task as
// aborted, which initiators take as a command that was not carried out.
uint8_t StatusOf(const sim::CommandReply& reply)
{
    if (!reply.delivered) return scsi::kStatusTaskAborted;
    return reply.hasSense ? scsi::kStatusCheckCondition : scsi::kStatusGood;
}

// The Data-In or SCSI Response fields that weigh the initiator's expected data transfer length
// against the data: underflow when less moved than it expected, overflow when the unit had more
// to send than it expected, each with the count of bytes that did not move.
void SetResidual(Bhs& header, uint32_t expected, uint32_t moved, uint32_t offered)
{
    if (moved < expected) {
        header.bytes[field::kFlags] |= kResidualUnderflowBit;
        header.Set32(field::kResidualCount, expected - moved);
    } else if (offered > expected) {
        header.bytes[field::kFlags] |= kResidualOverflowBit;
        header.Set32(field::kResidualCount, offered - expected);
    }
}

// Bytes of the expected data transfer that moved, and that the unit had for it.
uint32_t MovedBytes(const sim::CommandReply& reply, uint32_t expected)
{
    return reply.delivered ? std::min(reply.transferred, expected) : 0;
}
uint32_t OfferedBytes(const sim::CommandReply& reply) { return reply.delivered ? reply.offered : 0; }

}  // namespace

Connection::Connection(LogicalUnits& units, const TargetSettings& settings, uint16_t sessionHandle)
    : units(units), settings(settings), sessionHandle(sessionHandle == 0 ? 1 : sessionHandle)
{
    inbox.reserve(kBhsSize + kMaxAhsLength + settings.receiveSegmentLength + 8);
}

void Connection::Receive(const uint8_t* bytes, size_t length, double now)
{
    if (currentState == ConnectionState::Closing) return;
    inbox.insert(inbox.end(), bytes, bytes + length);
    while (ReadPdu(now)) {
    }
    inbox.erase(inbox.begin(), inbox.begin() + static_cast<std::ptrdiff_t>(inboxStart));
    inboxStart = 0;
    Advance(now);
}

// Reads one whole PDU from the inbox and acts on it; false when there is none (yet) or the
// connection is ending.
bool Connection::ReadPdu(double now)
{
    if (currentState == ConnectionState::Closing) return false;
    const size_t available = inbox.size() - inboxStart;
    if (available < kBhsSize) return false;
    const uint8_t* at = inbox.data() + inboxStart;
    Bhs header;
    std::memcpy(header.bytes, at, kBhsSize);
    const uint32_t dataLength = header.dataLength();
    if (dataLength > ReceiveSegmentLimit()) {
        Reject(header, kRejectProtocolError);
        Fail("a data segment longer than the target takes");
        return false;
    }
    const size_t total = kBhsSize + header.ahsLength() + PaddedLength(dataLength);
    if (available < total) return false;
    inboxStart += total;
    Dispatch(header, at + kBhsSize + header.ahsLength(), dataLength, now);
    return currentState != ConnectionState::Closing;
}

void Connection::Dispatch(const Bhs& header, const uint8_t* data, uint32_t dataLength, double now)
{
    if (currentState == ConnectionState::Login) {
        if (header.opcode() == Opcode::LoginRequest) return HandleLogin(header, data, dataLength);
        return Fail("a request other than login before the login");
    }
    switch (header.opcode()) {
    case Opcode::NopOut: return HandleNopOut(header, data, dataLength);
    case Opcode::ScsiCommand:
        if (log.discovery) return Reject(header, kRejectProtocolError);
        return HandleCommand(header, data, dataLength, now);
    case Opcode::TaskRequest: return HandleTaskRequest(header, now);
    case Opcode::TextRequest: return HandleText(header, data, dataLength);
    case Opcode::DataOut: return HandleDataOut(header, data, dataLength);
    case Opcode::LogoutRequest: return HandleLogout(header);
    case Opcode::LoginRequest:
    case Opcode::Snack: return Reject(header, kRejectProtocolError);
    default: return Reject(header, kRejectCommandNotSupported);
    }
}

// ---- login ----

void Connection::HandleLogin(const Bhs& request, const uint8_t* data, uint32_t dataLength)
{
    uint8_t statusClass = kLoginSuccess;
    uint8_t statusDetail = kDetailMisc;
    replyText.Clear();
    bool transit = (request.flags() & kTransitBit) != 0;
    if (CheckLoginRequest(request, statusClass, statusDetail)) {
        TextReader reader(data, dataLength);
        std::string_view key;
        std::string_view value;
        while (reader.Next(key, value)) AnswerKey(key, value, settings, negotiated, loginKeys, replyText);
        if (reader.malformed() || replyText.overflowed()) statusClass = kLoginInitiatorError;
        if (!portalGroupSent && !loginKeys.discovery && statusClass == kLoginSuccess) {
            replyText.Add("TargetPortalGroupTag", "1");
            portalGroupSent = true;
        }
        FinishLoginStage(request, statusClass, statusDetail, transit);
    }
    if (statusClass != kLoginSuccess) {
        replyText.Clear();
        transit = false;
    }
    uint8_t flags = static_cast<uint8_t>(CurrentStage(request) << 2);
    if (transit) flags |= kTransitBit | NextStage(request);
    SendLoginResponse(request, flags, statusClass, statusDetail);
    if (statusClass != kLoginSuccess) Fail("the login failed");
}

bool Connection::CheckLoginRequest(const Bhs& request, uint8_t& statusClass, uint8_t& statusDetail) const
{
    const uint8_t stage = CurrentStage(request);
    const bool transit = (request.flags() & kTransitBit) != 0;
    statusClass = kLoginInitiatorError;
    if (request.bytes[field::kVersionActive] != 0) {  // Version-min of the request
        statusDetail = kDetailUnsupportedVersion;
    } else if (request.Get16(field::kTsih) != 0) {
        statusDetail = kDetailSessionDoesNotExist;  // no connection joins an existing session
    } else if ((request.flags() & kContinueBit) != 0 || stage > uint8_t(LoginStage::Operational) ||
               (transit && (NextStage(request) <= stage || NextStage(request) == 2))) {
        statusDetail = kDetailMisc;
    } else {
        statusClass = kLoginSuccess;
    }
    return statusClass == kLoginSuccess;
}

// Decides whether the login may leave its stage as the initiator asks.
void Connection::FinishLoginStage(const Bhs& request, uint8_t& statusClass, uint8_t& statusDetail, bool& transit)
{
    if (statusClass != kLoginSuccess) return;
    statusClass = kLoginInitiatorError;
    if (loginKeys.badValue) {
        statusDetail = kDetailMisc;
    } else if (loginKeys.authOffered && !loginKeys.authNoneOffered) {
        statusDetail = kDetailAuthenticationFailed;
    } else if (!loginKeys.discovery && loginKeys.targetNamed && !loginKeys.targetKnown) {
        statusDetail = kDetailNotFound;
    } else if (transit && NextStage(request) == uint8_t(LoginStage::FullFeature) &&
               (!loginKeys.initiatorNamed || (!loginKeys.discovery && !loginKeys.targetNamed))) {
        statusDetail = kDetailMissingParameter;
    } else {
        statusClass = kLoginSuccess;
    }
}

void Connection::SendLoginResponse(const Bhs& request, uint8_t flags, uint8_t statusClass, uint8_t statusDetail)
{
    if (!firstLoginSeen) {
        firstLoginSeen = true;
        std::memcpy(isid, request.bytes + field::kIsid, sizeof isid);
        expCmdSn = request.Get32(field::kCommandSn);  // the login is immediate: CmdSN stays
        maxCmdSn = expCmdSn + kMaxTasks - 1;
    }
    const bool fullFeature = (flags & kTransitBit) != 0 && (flags & 0x03) == uint8_t(LoginStage::FullFeature);
    Bhs response;
    response.Start(Opcode::LoginResponse, flags);
    std::memcpy(response.bytes + field::kIsid, isid, sizeof isid);
    response.Set16(field::kTsih, fullFeature ? sessionHandle : 0);
    response.Set32(field::kTaskTag, request.Get32(field::kTaskTag));
    response.bytes[field::kLoginStatusClass] = statusClass;
    response.bytes[field::kLoginStatusDetail] = statusDetail;
    StampSequenceNumbers(response, true);
    Queue(response, replyText.data(), replyText.size());
    if (fullFeature && statusClass == kLoginSuccess) {
        currentState = ConnectionState::FullFeature;
        log.loggedIn = true;
        log.discovery = loginKeys.discovery;
    }
}

// ---- text, NOP, logout ----

void Connection::HandleText(const Bhs& request, const uint8_t* data, uint32_t dataLength)
{
    if (!CountCommand(request)) return;
    if ((request.flags() & kContinueBit) != 0 || request.Get32(field::kTransferTag) != kReservedTag) {
        return Reject(request, kRejectProtocolError);  // the target never splits its text
    }
    replyText.Clear();
    TextReader reader(data, dataLength);
    std::string_view key;
    std::string_view value;
    LoginKeys ignored;
    while (reader.Next(key, value)) {
        if (key != "SendTargets") {
            AnswerKey(key, value, settings, negotiated, ignored, replyText);
        } else if (value == "All" || value.empty() || value == std::string_view(settings.name)) {
            replyText.Add("TargetName", settings.name);
            replyText.Add("TargetAddress", settings.portal);
        }
    }
    if (reader.malformed() || replyText.overflowed()) return Reject(request, kRejectProtocolError);
    Bhs response;
    response.Start(Opcode::TextResponse, kFinalBit);
    std::memcpy(response.bytes + field::kLun, request.bytes + field::kLun, 8);
    response.Set32(field::kTaskTag, request.Get32(field::kTaskTag));
    response.Set32(field::kTransferTag, kReservedTag);
    StampSequenceNumbers(response, true);
    Queue(response, replyText.data(), replyText.size());
}

void Connection::HandleNopOut(const Bhs& request, const uint8_t* data, uint32_t dataLength)
{
    if (!CountCommand(request)) return;
    const uint32_t taskTag = request.Get32(field::kTaskTag);
    if (taskTag == kReservedTag) return;  // no answer wanted
    ++log.pingsAnswered;
    Bhs response;
    response.Start(Opcode::NopIn, kFinalBit);
    std::memcpy(response.bytes + field::kLun, request.bytes + field::kLun, 8);
    response.Set32(field::kTaskTag, taskTag);
    response.Set32(field::kTransferTag, kReservedTag);
    StampSequenceNumbers(response, true);
    Queue(response, data, std::min(dataLength, negotiated.sendSegmentLength));
}

void Connection::HandleLogout(const Bhs& request)
{
    if (!CountCommand(request)) return;
    Bhs response;
    response.Start(Opcode::LogoutResponse, kFinalBit);
    response.Set32(field::kTaskTag, request.Get32(field::kTaskTag));
    StampSequenceNumbers(response, true);
    Queue(response, nullptr, 0);
    log.loggedOut = true;
    log.logoutReason = request.flags() & kFunctionMask;
    for (Task& task : tasks) task.phase = Phase::Free;
    currentState = ConnectionState::Closing;
}

// ---- task management ----

void Connection::HandleTaskRequest(const Bhs& request, double now)
{
    if (!CountCommand(request)) return;
    uint16_t lun = kNoLun;
    DecodeLun(request.bytes + field::kLun, lun);
    const bool unitExists = lun < units.count();
    uint8_t result = kTaskFunctionComplete;
    bool closeAfter = false;
    switch (static_cast<TaskFunction>(request.flags() & kFunctionMask)) {
    case TaskFunction::AbortTask: {
        Task* task = FindTask(request.Get32(field::kReferencedTag));
        if (task == nullptr || task->lun != lun) {
            result = TakeMissingCommand(request) ? kTaskFunctionComplete : kTaskDoesNotExist;
        } else {
            log.lastAbortedOpcode = task->cdb[0];
            FreeTask(*task, now);
            ++log.abortedTasks;
        }
        break;
    }
    case TaskFunction::AbortTaskSet:
    case TaskFunction::ClearTaskSet:
        if (unitExists)
            AbortTasks(lun, false, now);
        else
            result = kTaskLunDoesNotExist;
        break;
    case TaskFunction::LogicalUnitReset:
        if (unitExists) {
            AbortTasks(lun, false, now);
            units.Reset(lun);
            ++log.unitResets;
        } else {
            result = kTaskLunDoesNotExist;
        }
        break;
    case TaskFunction::TargetColdReset: closeAfter = true; [[fallthrough]];
    case TaskFunction::TargetWarmReset:
        AbortTasks(kNoLun, true, now);
        for (int unit = 0; unit < units.count(); ++unit) units.Reset(static_cast<uint16_t>(unit));
        ++log.unitResets;
        break;
    default: result = kTaskFunctionNotSupported; break;
    }
    ++log.taskRequests;
    log.lastTaskFunction = request.flags() & kFunctionMask;
    log.lastReferencedTag = request.Get32(field::kReferencedTag);
    log.lastTaskResponse = result;
    Bhs response;
    response.Start(Opcode::TaskResponse, kFinalBit);
    response.bytes[field::kResponse] = result;
    response.Set32(field::kTaskTag, request.Get32(field::kTaskTag));
    StampSequenceNumbers(response, true);
    Queue(response, nullptr, 0);
    if (closeAfter) Fail("target cold reset");
}

void Connection::AbortTasks(uint16_t lun, bool allUnits, double now)
{
    for (Task& task : tasks) {
        if (task.phase != Phase::Free && (allUnits || task.lun == lun)) {
            log.lastAbortedOpcode = task.cdb[0];
            FreeTask(task, now);
            ++log.abortedTasks;
        }
    }
}

// Ends a task without a response. A unit that worked on it is free again.
void Connection::FreeTask(Task& task, double now)
{
    if (task.phase == Phase::Held && task.sendAt > now && units.busyUntil(task.lun) == task.sendAt) {
        units.SetBusyUntil(task.lun, now);
    }
    task.phase = Phase::Free;
}

// ---- SCSI commands and their data ----

void Connection::HandleCommand(const Bhs& request, const uint8_t* data, uint32_t dataLength, double now)
{
    if (!CountCommand(request)) return;
    ++log.commands;
    const uint8_t flags = request.flags();
    const bool reads = (flags & kReadBit) != 0;
    const bool writes = (flags & kWriteBit) != 0;
    const uint32_t length = request.Get32(field::kExpectedLength);
    const uint32_t taskTag = request.Get32(field::kTaskTag);
    if (!writes && dataLength > 0) return Fail("data with a command that sends none");
    if (FindTask(taskTag) != nullptr) return Fail("a task tag already in use");
    // Bidirectional commands, and transfers larger than the target buffers, are refused.
    if ((reads && writes) || length > kMaxTransferLength) {
        return SendImmediateStatus(request, scsi::kStatusCheckCondition, scsi::kSenseIllegalRequest,
                                   scsi::kAscInvalidFieldInCdb, 0x00);
    }
    Task* task = FreeSlot();
    if (task == nullptr) return SendImmediateStatus(request, scsi::kStatusTaskSetFull, 0, 0, 0);

    task->taskTag = taskTag;
    task->commandSn = request.Get32(field::kCommandSn);
    task->immediate = request.immediate();
    std::memcpy(task->lunField, request.bytes + field::kLun, sizeof task->lunField);
    task->lun = kNoLun;
    DecodeLun(task->lunField, task->lun);
    std::memcpy(task->cdb, request.bytes + field::kCdb, kCdbFieldSize);
    task->direction = writes ? platform::DataDirection::Out
                             : (reads ? platform::DataDirection::In : platform::DataDirection::None);
    task->length = length;
    task->received = 0;
    task->unsolicitedOpen = false;
    task->transferTag = kReservedTag;
    task->r2tSn = 0;
    task->arrival = ++arrivals;
    task->arrivedAt = now;
    if (task->data.size() < length) task->data.resize(length);
    if (writes && !AcceptImmediateData(*task, request, data, dataLength)) return;
    task->phase = writes ? Phase::Collecting : Phase::Ready;
    if (writes) ContinueDataOut(*task);
}

bool Connection::AcceptImmediateData(Task& task, const Bhs& request, const uint8_t* data, uint32_t dataLength)
{
    const bool final = (request.flags() & kFinalBit) != 0;
    if (dataLength > 0 && !negotiated.immediateData) {
        Fail("immediate data that were not negotiated");
        return false;
    }
    if (dataLength > UnsolicitedLimit(task)) {
        Fail("more immediate data than the first burst allows");
        return false;
    }
    if (!final && negotiated.initialR2T) {
        Fail("unsolicited data announced that were not negotiated");
        return false;
    }
    if (dataLength > 0) std::memcpy(task.data.data(), data, dataLength);
    task.received = dataLength;
    task.unsolicitedOpen = !final && task.received < UnsolicitedLimit(task);
    return true;
}

void Connection::HandleDataOut(const Bhs& request, const uint8_t* data, uint32_t dataLength)
{
    Task* task = FindTask(request.Get32(field::kTaskTag));
    // Data for a task that has ended (aborted, refused) are dropped.
    if (task == nullptr || task->phase != Phase::Collecting) return;
    if (AcceptDataOut(*task, request, data, dataLength)) ContinueDataOut(*task);
}

bool Connection::AcceptDataOut(Task& task, const Bhs& request, const uint8_t* data, uint32_t dataLength)
{
    const uint32_t transferTag = request.Get32(field::kTransferTag);
    const bool solicited = transferTag != kReservedTag;
    const bool final = (request.flags() & kFinalBit) != 0;
    uint32_t limit = 0;
    if (!solicited && task.unsolicitedOpen) {
        limit = UnsolicitedLimit(task);
    } else if (solicited && transferTag == task.transferTag) {
        limit = task.solicitedEnd;
    } else {
        Reject(request, kRejectInvalidField);
        Fail(solicited ? "data for a transfer the target did not ask for" : "unsolicited data past the first burst");
        return false;
    }
    if (request.Get32(field::kBufferOffset) != task.received || dataLength > limit - task.received) {
        Reject(request, kRejectInvalidField);
        Fail("data out of order or beyond the transfer");
        return false;
    }
    if (dataLength > 0) std::memcpy(task.data.data() + task.received, data, dataLength);
    task.received += dataLength;
    const bool sequenceDone = final || task.received == limit;
    if (sequenceDone && task.received < limit && solicited) {
        Fail("a solicited sequence that ended short");
        return false;
    }
    if (sequenceDone && solicited) task.transferTag = kReservedTag;
    if (sequenceDone && !solicited) task.unsolicitedOpen = false;
    return true;
}

// After each piece of data: the task is complete, or more is on its way, or the target asks.
void Connection::ContinueDataOut(Task& task)
{
    if (task.received == task.length) {
        task.phase = Phase::Ready;
        return;
    }
    if (task.unsolicitedOpen || task.transferTag != kReservedTag) return;
    SendReadyToTransfer(task);
}

void Connection::SendReadyToTransfer(Task& task)
{
    const uint32_t wanted = std::min(task.length - task.received, negotiated.maxBurstLength);
    if (nextTransferTag == kReservedTag) nextTransferTag = 1;
    task.transferTag = nextTransferTag++;
    task.solicitedEnd = task.received + wanted;
    Bhs r2t;
    r2t.Start(Opcode::ReadyToTransfer, kFinalBit);
    std::memcpy(r2t.bytes + field::kLun, task.lunField, sizeof task.lunField);
    r2t.Set32(field::kTaskTag, task.taskTag);
    r2t.Set32(field::kTransferTag, task.transferTag);
    r2t.Set32(field::kDataSn, task.r2tSn++);
    r2t.Set32(field::kBufferOffset, task.received);
    r2t.Set32(field::kDesiredLength, wanted);
    StampSequenceNumbers(r2t, false);
    Queue(r2t, nullptr, 0);
}

// ---- execution and responses ----

void Connection::Advance(double now)
{
    if (currentState != ConnectionState::FullFeature) return;
    SendDue(now);
    ExecuteReady(now);
    SendDue(now);
}

// Hands the next commands, in their order of arrival, to their units while the units are free.
// A command after a gap in the numbering waits, and does not hold up those before it.
void Connection::ExecuteReady(double now)
{
    for (;;) {
        const int index = NextInLine();
        if (index < 0) return;
        Task* next = &tasks[static_cast<size_t>(index)];
        if (units.busyUntil(next->lun) > now) return;
        UnitCommand command{};
        std::memcpy(command.cdb, next->cdb, sizeof command.cdb);
        command.direction = next->direction;
        command.data = next->data.empty() ? nullptr : next->data.data();
        command.length = next->length;
        command.arrivedAt = next->arrivedAt;
        command.firstCapacityRead = next->cdb[0] == scsi::opcode::kReadCapacity10 && !capacityRead;
        capacityRead = capacityRead || command.firstCapacityRead;
        next->reply = units.Execute(next->lun, command, now);
        next->sendAt = now + std::max(0.0, next->reply.seconds);
        units.SetBusyUntil(next->lun, next->sendAt);
        next->phase = Phase::Held;
    }
}

// The command that goes to its unit next, once it has its data and the unit is free: the
// earliest to arrive of those whose numbering has no gap before them. -1: none is ready.
int Connection::NextInLine() const
{
    int next = -1;
    for (int index = 0; index < kMaxTasks; ++index) {
        const Task& task = tasks[static_cast<size_t>(index)];
        const bool waiting = task.phase == Phase::Collecting || task.phase == Phase::Ready;
        if (waiting && InSequence(task) && (next < 0 || task.arrival < tasks[static_cast<size_t>(next)].arrival)) {
            next = index;
        }
    }
    return next >= 0 && tasks[static_cast<size_t>(next)].phase == Phase::Ready ? next : -1;
}

// Sends the responses whose time has come, earliest first.
void Connection::SendDue(double now)
{
    for (;;) {
        Task* due = nullptr;
        for (Task& task : tasks) {
            if (task.phase != Phase::Held || task.sendAt > now) continue;
            if (due == nullptr || task.sendAt < due->sendAt ||
                (task.sendAt == due->sendAt && task.arrival < due->arrival)) {
                due = &task;
            }
        }
        if (due == nullptr) return;
        if (due->direction == platform::DataDirection::In)
            SendDataIn(*due);
        else
            SendResponse(*due, 0);
        due->phase = Phase::Free;
    }
}

// The data of a read in bursts and segments; the status rides in the last Data-In when the
// command ended well, else a SCSI Response follows with the sense data.
void Connection::SendDataIn(Task& task)
{
    const sim::CommandReply& reply = task.reply;
    const uint32_t total = reply.delivered ? std::min(reply.transferred, task.length) : 0;
    const bool statusWithData = reply.delivered && !reply.hasSense && total > 0;
    uint32_t offset = 0;
    uint32_t burstStart = 0;
    uint32_t dataSn = 0;
    while (offset < total) {
        const uint32_t burstEnd = std::min(burstStart + negotiated.maxBurstLength, total);
        const uint32_t size = std::min(burstEnd - offset, negotiated.sendSegmentLength);
        const bool endsBurst = offset + size == burstEnd;
        const bool withStatus = statusWithData && offset + size == total;
        Bhs dataIn;
        dataIn.Start(Opcode::DataIn, endsBurst ? kFinalBit : 0);
        dataIn.Set32(field::kTaskTag, task.taskTag);
        dataIn.Set32(field::kTransferTag, kReservedTag);
        dataIn.Set32(field::kDataSn, dataSn++);
        dataIn.Set32(field::kBufferOffset, offset);
        if (withStatus) {
            dataIn.bytes[field::kFlags] |= kStatusBit;
            dataIn.bytes[field::kStatus] = scsi::kStatusGood;
            SetResidual(dataIn, task.length, total, reply.offered);
        }
        StampSequenceNumbers(dataIn, withStatus);
        if (!withStatus) dataIn.Set32(field::kStatSn, 0);  // reserved without status
        Queue(dataIn, task.data.data() + offset, size);
        offset += size;
        if (endsBurst) burstStart = burstEnd;
    }
    if (!statusWithData) SendResponse(task, dataSn);
}

void Connection::SendResponse(const Task& task, uint32_t dataInCount)
{
    SendStatus(task.taskTag, task.length, StatusOf(task.reply), task.reply, dataInCount);
}

// The drive's fixed-format sense data, or the same key and codes in descriptor format; the
// number of bytes written.
uint32_t Connection::WriteSense(const sim::CommandReply& reply, uint8_t* out) const
{
    if (!settings.descriptorSense) {
        std::memcpy(out, reply.sense, sim::kSenseDataSize);
        return sim::kSenseDataSize;
    }
    // The header alone: the drive's descriptor sense carries no descriptors.
    constexpr uint32_t kDescriptorSenseSize = 8;
    scsi::SenseFields fields;
    scsi::NormaliseSense(reply.sense, sim::kSenseDataSize, fields);
    uint8_t sense[sim::kSenseDataSize];
    sim::FillDescriptorSense(sense, fields.key, fields.asc, fields.ascq);
    std::memcpy(out, sense, kDescriptorSenseSize);
    return kDescriptorSenseSize;
}

// A SCSI Response: the status, the sense data after their length when the status is a check
// condition, and how much of the expected data did not move.
void Connection::SendStatus(uint32_t taskTag, uint32_t length, uint8_t status, const sim::CommandReply& reply,
                            uint32_t dataInCount)
{
    Bhs response;
    response.Start(Opcode::ScsiResponse, kFinalBit);
    response.bytes[field::kStatus] = status;
    response.Set32(field::kTaskTag, taskTag);
    response.Set32(field::kDataSn, dataInCount);  // ExpDataSN
    uint8_t segment[kSenseLengthPrefix + sim::kSenseDataSize] = {};
    uint32_t segmentLength = 0;
    if (status == scsi::kStatusCheckCondition) {
        const uint32_t senseLength = WriteSense(reply, segment + kSenseLengthPrefix);
        PutBE16(segment, static_cast<uint16_t>(senseLength));
        segmentLength = kSenseLengthPrefix + senseLength;
    }
    SetResidual(response, length, MovedBytes(reply, length), OfferedBytes(reply));
    StampSequenceNumbers(response, true);
    Queue(response, segment, segmentLength);
}

// A status for a command the target refuses before it becomes a task.
void Connection::SendImmediateStatus(const Bhs& request, uint8_t status, uint8_t key, uint8_t asc, uint8_t ascq)
{
    sim::CommandReply reply{};
    reply.delivered = true;
    if (status == scsi::kStatusCheckCondition) {
        reply.hasSense = true;
        sim::FillSense(reply.sense, key, asc, ascq);
    }
    SendStatus(request.Get32(field::kTaskTag), request.Get32(field::kExpectedLength), status, reply, 0);
}

// ---- bookkeeping ----

Connection::Task* Connection::FindTask(uint32_t taskTag)
{
    for (Task& task : tasks) {
        if (task.phase != Phase::Free && task.taskTag == taskTag) return &task;
    }
    return nullptr;
}

Connection::Task* Connection::FreeSlot()
{
    for (Task& task : tasks) {
        if (task.phase == Phase::Free) return &task;
    }
    return nullptr;
}

// Counts a non-immediate request in the command sequence. One numbered outside the window the
// target announced (ExpCmdSN to MaxCmdSN), or one the target already has, is ignored without an
// answer (false). Immediate requests stand outside the sequence.
bool Connection::CountCommand(const Bhs& request)
{
    if (request.immediate()) return true;
    const uint32_t commandSn = request.Get32(field::kCommandSn);
    if (!InCommandWindow(commandSn) || ReceivedAhead(commandSn)) {
        ++log.ignoredCommands;
        return false;
    }
    MarkReceived(commandSn);
    return true;
}

bool Connection::InCommandWindow(uint32_t commandSn) const
{
    return !SerialLess(commandSn, expCmdSn) && !SerialLess(maxCmdSn, commandSn);
}

bool Connection::ReceivedAhead(uint32_t commandSn) const
{
    return commandSn != expCmdSn && ((aheadReceived >> (commandSn - expCmdSn)) & 1u) != 0;
}

// A command of the window has arrived: ExpCmdSN moves past every number that has arrived
// without a gap before it. A command after a gap waits for the missing one.
void Connection::MarkReceived(uint32_t commandSn)
{
    static_assert(kMaxTasks < 32, "the window must fit the bits of aheadReceived");
    aheadReceived |= 1u << (commandSn - expCmdSn);
    while ((aheadReceived & 1u) != 0) {
        ++expCmdSn;
        aheadReceived >>= 1;
    }
}

// A command runs once every command numbered before it has arrived.
bool Connection::InSequence(const Task& task) const { return task.immediate || SerialLess(task.commandSn, expCmdSn); }

// An abort of a task the target never received, whose number (RefCmdSN) lies in the window and
// before the abort's own: that number counts as received, so that the commands after it need
// not wait for it, and the abort is complete (false: the number is outside the window).
bool Connection::TakeMissingCommand(const Bhs& request)
{
    const uint32_t missing = request.Get32(field::kRefCommandSn);
    if (!InCommandWindow(missing) || ReceivedAhead(missing)) return false;
    if (!SerialLess(missing, request.Get32(field::kCommandSn))) return false;
    MarkReceived(missing);
    return true;
}

void Connection::Reject(const Bhs& header, uint8_t reason)
{
    Bhs reject;
    reject.Start(Opcode::Reject, kFinalBit);
    reject.bytes[field::kResponse] = reason;
    reject.Set32(field::kTaskTag, kReservedTag);
    StampSequenceNumbers(reject, false);
    Queue(reject, header.bytes, kBhsSize);
    ++log.rejects;
}

void Connection::Fail(const char* reason)
{
    if (currentState == ConnectionState::Closing) return;
    std::snprintf(log.closeReason, sizeof log.closeReason, "%s", reason);
    for (Task& task : tasks) task.phase = Phase::Free;
    currentState = ConnectionState::Closing;
}

void Connection::Queue(Bhs& header, const uint8_t* data, uint32_t dataLength)
{
    header.SetDataLength(dataLength);
    outbox.insert(outbox.end(), header.bytes, header.bytes + kBhsSize);
    if (dataLength > 0) outbox.insert(outbox.end(), data, data + dataLength);
    outbox.resize(outbox.size() + (PaddedLength(dataLength) - dataLength), 0);
}

void Connection::Sent(size_t count)
{
    outboxStart = std::min(outboxStart + count, outbox.size());
    if (outboxStart == outbox.size()) {
        outbox.clear();
        outboxStart = 0;
    } else if (outboxStart >= kOutboxCompactSize) {
        outbox.erase(outbox.begin(), outbox.begin() + static_cast<std::ptrdiff_t>(outboxStart));
        outboxStart = 0;
    }
}

void Connection::StampSequenceNumbers(Bhs& header, bool advanceStatSn)
{
    header.Set32(field::kStatSn, statSn);
    if (advanceStatSn) ++statSn;
    header.Set32(field::kExpCommandSn, expCmdSn);
    header.Set32(field::kMaxCommandSn, MaxCommandSn());
}

// The window: as many more commands as there are task slots free or taken by commands that
// arrived ahead of a gap. It never shrinks, since an initiator keeps the largest MaxCmdSN it
// was told: a command that then finds no free slot is answered TASK SET FULL.
uint32_t Connection::MaxCommandSn()
{
    uint32_t slots = 0;
    for (const Task& task : tasks) {
        if (task.phase == Phase::Free || !InSequence(task)) ++slots;
    }
    const uint32_t offered = expCmdSn + slots - 1;
    if (SerialLess(maxCmdSn, offered)) maxCmdSn = offered;
    return maxCmdSn;
}

uint32_t Connection::ReceiveSegmentLimit() const
{
    return currentState == ConnectionState::Login ? kDefaultDataSegmentLength : settings.receiveSegmentLength;
}

uint32_t Connection::UnsolicitedLimit(const Task& task) const
{
    return std::min({task.length, negotiated.firstBurstLength, negotiated.maxBurstLength});
}

double Connection::NextWakeTime() const
{
    // The next command in line waits for its unit; the others wait for it, or for data.
    const int next = NextInLine();
    double wake = next < 0 ? -1.0 : units.busyUntil(tasks[static_cast<size_t>(next)].lun);
    for (const Task& task : tasks) {
        if (task.phase == Phase::Held && (wake < 0.0 || task.sendAt < wake)) wake = task.sendAt;
    }
    return wake;
}

}  // namespace iscsi
