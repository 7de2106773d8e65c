// The iSCSI target's sockets: one listening socket on the loopback address, the connections,
// and a poll loop that also wakes when a held response falls due.

#include "iscsi/IscsiTarget.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace iscsi {

namespace {

constexpr size_t kReadChunk = 262144;
constexpr int kListenBacklog = 8;

void MakeNonBlocking(int socket)
{
    const int flags = fcntl(socket, F_GETFL, 0);
    if (flags >= 0) fcntl(socket, F_SETFL, flags | O_NONBLOCK);
    const int one = 1;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);  // fails harmlessly on a pair
}

const char* TaskFunctionName(uint8_t function)
{
    switch (static_cast<TaskFunction>(function)) {
    case TaskFunction::AbortTask: return "ABORT TASK";
    case TaskFunction::AbortTaskSet: return "ABORT TASK SET";
    case TaskFunction::ClearAca: return "CLEAR ACA";
    case TaskFunction::ClearTaskSet: return "CLEAR TASK SET";
    case TaskFunction::LogicalUnitReset: return "LOGICAL UNIT RESET";
    case TaskFunction::TargetWarmReset: return "TARGET WARM RESET";
    case TaskFunction::TargetColdReset: return "TARGET COLD RESET";
    case TaskFunction::TaskReassign: return "TASK REASSIGN";
    }
    return "an unknown function";
}

const char* TaskResponseName(uint8_t response)
{
    switch (response) {
    case kTaskFunctionComplete: return "function complete";
    case kTaskDoesNotExist: return "task does not exist";
    case kTaskLunDoesNotExist: return "LUN does not exist";
    case kTaskFunctionNotSupported: return "function not supported";
    default: return "refused";
    }
}

}  // namespace

IscsiTarget::IscsiTarget(const TargetSettings& settings) : targetSettings(settings)
{
    if (pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        stopPipe[0] = stopPipe[1] = -1;
    }
    units.SetAnswerAttachCommands(settings.answerAttachCommands);
    readBuffer.resize(kReadChunk);
}

IscsiTarget::~IscsiTarget()
{
    for (Slot& slot : slots) {
        if (slot.socket >= 0) close(slot.socket);
    }
    if (listenSocket >= 0) close(listenSocket);
    for (int end : stopPipe) {
        if (end >= 0) close(end);
    }
}

bool IscsiTarget::Listen(uint16_t port, std::string& error)
{
    listenSocket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listenSocket < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    const int one = 1;
    setsockopt(listenSocket, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listenSocket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listenSocket, kListenBacklog) != 0 ||
        getsockname(listenSocket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        error = "127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
        close(listenSocket);
        listenSocket = -1;
        return false;
    }
    listenPort = ntohs(address.sin_port);
    std::snprintf(targetSettings.portal, sizeof targetSettings.portal, "%s:%u,1", targetSettings.portalAddress,
                  unsigned{listenPort});
    return true;
}

bool IscsiTarget::Adopt(int socket)
{
    for (Slot& slot : slots) {
        if (slot.socket >= 0) continue;
        MakeNonBlocking(socket);
        slot.socket = socket;
        slot.connection = std::make_unique<Connection>(units, targetSettings, nextSessionHandle++);
        slot.seen = ConnectionEvents{};
        ++total.connections;
        return true;
    }
    close(socket);
    return false;
}

void IscsiTarget::Stop()
{
    const char wake = 'x';
    if (stopPipe[1] >= 0 && write(stopPipe[1], &wake, 1) < 0) {
        // The pipe is full: Run wakes already.
    }
}

void IscsiTarget::Run()
{
    for (;;) {
        pollfd polled[2 + kMaxConnections];
        int slotOf[2 + kMaxConnections];
        int count = 0;
        polled[count] = {stopPipe[0], POLLIN, 0};
        slotOf[count++] = -1;
        if (listenSocket >= 0) {
            polled[count] = {listenSocket, POLLIN, 0};
            slotOf[count++] = -1;
        }
        for (int index = 0; index < kMaxConnections; ++index) {
            const Slot& slot = slots[index];
            if (slot.socket < 0) continue;
            const short wanted = slot.connection->outputSize() > 0 ? POLLIN | POLLOUT : POLLIN;
            polled[count] = {slot.socket, wanted, 0};
            slotOf[count++] = index;
        }
        if (poll(polled, count, PollTimeoutMs(Now())) < 0 && errno != EINTR) return;
        if ((polled[0].revents & POLLIN) != 0) {
            char drained[16];
            while (read(stopPipe[0], drained, sizeof drained) > 0) {
            }
            return;
        }
        const double now = Now();
        for (int index = 1; index < count; ++index) {
            if (slotOf[index] < 0 && (polled[index].revents & POLLIN) != 0) AcceptConnection();
            if (slotOf[index] >= 0 && (polled[index].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                ReadFrom(slots[slotOf[index]], now);
            }
        }
        for (Slot& slot : slots) {
            if (slot.socket < 0) continue;
            slot.connection->Advance(Now());
            ReportEvents(slot);
            WriteTo(slot);
            if (slot.socket >= 0 && slot.connection->finished()) Close(slot);
        }
    }
}

void IscsiTarget::AcceptConnection()
{
    const int socket = accept4(listenSocket, nullptr, nullptr, SOCK_CLOEXEC);
    if (socket < 0) return;
    if (!Adopt(socket))
        Report("connection refused: the target serves as many as it takes");
    else
        Report("connection");
}

void IscsiTarget::ReadFrom(Slot& slot, double now)
{
    const ssize_t count = recv(slot.socket, readBuffer.data(), readBuffer.size(), 0);
    if (count > 0) {
        slot.connection->Receive(readBuffer.data(), static_cast<size_t>(count), now);
        return;
    }
    if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    ReportEvents(slot);
    Close(slot);
}

void IscsiTarget::WriteTo(Slot& slot)
{
    Connection& connection = *slot.connection;
    while (connection.outputSize() > 0) {
        const ssize_t count = send(slot.socket, connection.output(), connection.outputSize(), MSG_NOSIGNAL);
        if (count > 0) {
            connection.Sent(static_cast<size_t>(count));
            continue;
        }
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
        Close(slot);
        return;
    }
}

void IscsiTarget::Close(Slot& slot)
{
    const ConnectionEvents& events = slot.connection->events();
    char text[160];
    if (events.closeReason[0] != '\0') {
        ++total.protocolErrors;
        std::snprintf(text, sizeof text, "connection closed: %s", events.closeReason);
    } else {
        std::snprintf(text, sizeof text, "connection closed%s", events.loggedOut ? " after logout" : "");
    }
    Report(text);
    close(slot.socket);
    slot.socket = -1;
    slot.connection.reset();
}

// Reports what changed on a connection since the last look, and adds it to the totals.
void IscsiTarget::ReportEvents(Slot& slot)
{
    const ConnectionEvents& now = slot.connection->events();
    ConnectionEvents& seen = slot.seen;
    char text[160];
    if (now.loggedIn && !seen.loggedIn) {
        ++total.logins;
        Report(now.discovery ? "login: discovery session" : "login: normal session");
    }
    if (now.ignoredCommands != seen.ignoredCommands) {
        std::snprintf(text, sizeof text, "%u command(s) outside the command window ignored",
                      now.ignoredCommands - seen.ignoredCommands);
        Report(text);
    }
    if (now.taskRequests != seen.taskRequests) {
        std::snprintf(text, sizeof text, "task management: %s (referenced task tag %08X) answered %s",
                      TaskFunctionName(now.lastTaskFunction), now.lastReferencedTag,
                      TaskResponseName(now.lastTaskResponse));
        Report(text);
    }
    if (now.abortedTasks != seen.abortedTasks) {
        std::snprintf(text, sizeof text, "task management: %u task(s) aborted, the last one opcode %02X",
                      now.abortedTasks - seen.abortedTasks, now.lastAbortedOpcode);
        Report(text);
        total.abortedTasks += now.abortedTasks - seen.abortedTasks;
    }
    if (now.unitResets != seen.unitResets) {
        Report("task management: logical unit reset");
        total.unitResets += now.unitResets - seen.unitResets;
    }
    if (now.loggedOut && !seen.loggedOut) {
        std::snprintf(text, sizeof text, "logout: %s, answered closed successfully",
                      now.logoutReason == 0 ? "close the session" : "close the connection");
        Report(text);
    }
    total.commands += now.commands - seen.commands;
    total.pingsAnswered += now.pingsAnswered - seen.pingsAnswered;
    seen = now;
}

void IscsiTarget::Report(const char* text)
{
    if (eventSink) eventSink(text);
}

int IscsiTarget::PollTimeoutMs(double now) const
{
    double wake = -1.0;
    for (const Slot& slot : slots) {
        if (slot.socket < 0) continue;
        const double time = slot.connection->NextWakeTime();
        if (time >= 0.0 && (wake < 0.0 || time < wake)) wake = time;
    }
    if (wake < 0.0) return -1;
    const double milliseconds = std::ceil((wake - now) * 1000.0);
    return milliseconds <= 0.0 ? 0 : static_cast<int>(std::min(milliseconds, 3600000.0));
}

double IscsiTarget::Now()
{
    timespec time{};
    clock_gettime(CLOCK_MONOTONIC, &time);
    return static_cast<double>(time.tv_sec) + time.tv_nsec / 1e9;
}

}  // namespace iscsi
