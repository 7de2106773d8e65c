#pragma once
// One iSCSI connection on the target's side, independent of sockets: bytes from the initiator
// go in, bytes for the initiator come out. It carries the login with its text negotiation, the
// discovery session's SendTargets, and in the full feature phase SCSI commands (with immediate,
// unsolicited and solicited data, R2T, Data-In, status with sense data), task management, NOP
// and logout, at error recovery level 0 (a protocol error ends the connection).
//
// Commands reach their logical units one at a time, in the order they arrived. A command's
// modelled duration holds its response back, and holds the unit busy, until that time has
// passed on the caller's clock (seconds, any origin), so that an initiator's time-outs and task
// aborts meet a drive that really takes its time.

#include <array>
#include <cstdint>
#include <vector>

#include "iscsi/IscsiLogicalUnits.h"
#include "iscsi/IscsiPdu.h"
#include "iscsi/IscsiText.h"

namespace iscsi {

constexpr int kMaxTasks = 16;                     // commands in flight on one connection
constexpr uint32_t kMaxTransferLength = 2097152;  // largest data phase the target buffers
constexpr uint32_t kMaxAhsLength = 255 * 4;

enum class ConnectionState : uint8_t {
    Login,        // login requests only
    FullFeature,  // logged in
    Closing,      // a logout or a protocol error: nothing more is read; close once sent
};

// What happened on the connection, for the target's log.
struct ConnectionEvents {
    uint32_t commands = 0;
    uint32_t pingsAnswered = 0;     // NOP-Outs that asked for a NOP-In
    uint32_t ignoredCommands = 0;   // outside the command window, or duplicates: no answer
    uint32_t abortedTasks = 0;      // tasks ended by task management before their response
    uint8_t lastAbortedOpcode = 0;  // the command of the last of them
    uint32_t unitResets = 0;
    uint32_t taskRequests = 0;  // task management requests answered
    uint8_t lastTaskFunction = 0;
    uint32_t lastReferencedTag = 0;
    uint8_t lastTaskResponse = 0;
    uint32_t rejects = 0;
    bool loggedIn = false;
    bool discovery = false;
    bool loggedOut = false;
    uint8_t logoutReason = 0;   // 0: close the session, 1: close the connection
    char closeReason[96] = "";  // the protocol error that closed the connection, if any
};

class Connection {
public:
    Connection(LogicalUnits& units, const TargetSettings& settings, uint16_t sessionHandle);

    // Bytes received from the initiator, in order, in pieces of any size.
    void Receive(const uint8_t* bytes, size_t length, double now);
    // Carries out the commands whose turn has come and sends the responses that are due.
    void Advance(double now);
    // When Advance has something to do next without new input; a negative value: nothing.
    double NextWakeTime() const;

    // Bytes waiting to be sent, and how many of them went out.
    const uint8_t* output() const { return outbox.data() + outboxStart; }
    size_t outputSize() const { return outbox.size() - outboxStart; }
    void Sent(size_t count);

    ConnectionState state() const { return currentState; }
    // True once the connection has ended and everything for the initiator has gone out.
    bool finished() const { return currentState == ConnectionState::Closing && outputSize() == 0; }
    const ConnectionEvents& events() const { return log; }
    const SessionParameters& parameters() const { return negotiated; }

private:
    enum class Phase : uint8_t { Free, Collecting, Ready, Held };
    struct Task {
        Phase phase = Phase::Free;
        uint32_t taskTag = 0;
        uint32_t commandSn = 0;
        bool immediate = false;  // delivered at once, outside the command sequence
        uint16_t lun = kNoLun;
        uint8_t lunField[8] = {};  // as the initiator wrote it, for the R2T
        uint8_t cdb[kCdbFieldSize] = {};
        platform::DataDirection direction = platform::DataDirection::None;
        uint32_t length = 0;                  // expected data transfer length
        uint32_t received = 0;                // Data-Out bytes so far
        bool unsolicitedOpen = false;         // unsolicited Data-Out may still arrive
        uint32_t transferTag = kReservedTag;  // of the outstanding R2T
        uint32_t solicitedEnd = 0;            // where the outstanding R2T's data end
        uint32_t r2tSn = 0;
        uint64_t arrival = 0;  // order of arrival
        double arrivedAt = 0.0;
        double sendAt = 0.0;
        sim::CommandReply reply{};
        std::vector<uint8_t> data;  // kept between commands: holds the largest transfer seen
    };

    bool ReadPdu(double now);
    void Dispatch(const Bhs& header, const uint8_t* data, uint32_t dataLength, double now);
    void HandleLogin(const Bhs& request, const uint8_t* data, uint32_t dataLength);
    bool CheckLoginRequest(const Bhs& request, uint8_t& statusClass, uint8_t& statusDetail) const;
    void FinishLoginStage(const Bhs& request, uint8_t& statusClass, uint8_t& statusDetail, bool& transit);
    void SendLoginResponse(const Bhs& request, uint8_t flags, uint8_t statusClass, uint8_t statusDetail);
    void HandleText(const Bhs& request, const uint8_t* data, uint32_t dataLength);
    void HandleNopOut(const Bhs& request, const uint8_t* data, uint32_t dataLength);
    void HandleLogout(const Bhs& request);
    void HandleTaskRequest(const Bhs& request, double now);
    void HandleCommand(const Bhs& request, const uint8_t* data, uint32_t dataLength, double now);
    bool AcceptImmediateData(Task& task, const Bhs& request, const uint8_t* data, uint32_t dataLength);
    void HandleDataOut(const Bhs& request, const uint8_t* data, uint32_t dataLength);
    bool AcceptDataOut(Task& task, const Bhs& request, const uint8_t* data, uint32_t dataLength);
    void ContinueDataOut(Task& task);
    void SendReadyToTransfer(Task& task);
    void ExecuteReady(double now);
    int NextInLine() const;
    void SendDue(double now);
    void SendDataIn(Task& task);
    void SendResponse(const Task& task, uint32_t dataInCount);
    void SendStatus(uint32_t taskTag, uint32_t length, uint8_t status, const sim::CommandReply& reply,
                    uint32_t dataInCount);
    uint32_t WriteSense(const sim::CommandReply& reply, uint8_t* out) const;
    void SendImmediateStatus(const Bhs& request, uint8_t status, uint8_t key, uint8_t asc, uint8_t ascq);
    void AbortTasks(uint16_t lun, bool allUnits, double now);
    void FreeTask(Task& task, double now);
    Task* FindTask(uint32_t taskTag);
    Task* FreeSlot();
    bool CountCommand(const Bhs& request);
    bool InCommandWindow(uint32_t commandSn) const;
    bool ReceivedAhead(uint32_t commandSn) const;
    void MarkReceived(uint32_t commandSn);
    bool InSequence(const Task& task) const;
    bool TakeMissingCommand(const Bhs& request);
    void Reject(const Bhs& header, uint8_t reason);
    void Fail(const char* reason);
    void Queue(Bhs& header, const uint8_t* data, uint32_t dataLength);
    void StampSequenceNumbers(Bhs& header, bool advanceStatSn);
    uint32_t MaxCommandSn();
    uint32_t ReceiveSegmentLimit() const;
    uint32_t UnsolicitedLimit(const Task& task) const;

    LogicalUnits& units;
    const TargetSettings& settings;
    uint16_t sessionHandle;
    ConnectionState currentState = ConnectionState::Login;
    SessionParameters negotiated;
    LoginKeys loginKeys;
    bool firstLoginSeen = false;
    bool portalGroupSent = false;
    bool capacityRead = false;  // a READ CAPACITY(10) went to a unit
    uint8_t isid[6] = {};
    uint32_t statSn = 1;
    uint32_t expCmdSn = 0;
    uint32_t maxCmdSn = 0;       // as last announced: it never goes back
    uint32_t aheadReceived = 0;  // bit n: the command numbered expCmdSn + n has arrived
    uint32_t nextTransferTag = 1;
    uint64_t arrivals = 0;
    std::array<Task, kMaxTasks> tasks{};
    std::vector<uint8_t> inbox;  // bytes of PDUs not yet read, from inboxStart
    size_t inboxStart = 0;
    std::vector<uint8_t> outbox;  // bytes not yet sent, from outboxStart
    size_t outboxStart = 0;
    TextWriter replyText;
    ConnectionEvents log;
};

}  // namespace iscsi
