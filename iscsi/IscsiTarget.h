#pragma once
// A small iSCSI target on TCP that serves virtual drives as its logical units, so that a real
// initiator (QEMU's iSCSI driver, and through it a guest's kernel) can reach them: the drive
// sees every command block the initiator sends and keeps its trace.
//
// One thread runs the target (Run); Stop may be called from any thread or a signal handler.
// The drives belong to the caller and are touched only by the target's thread while it runs.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "iscsi/IscsiConnection.h"
#include "iscsi/IscsiLogicalUnits.h"
#include "iscsi/IscsiText.h"
#include "sim/VirtualDrive.h"

namespace iscsi {

constexpr int kMaxConnections = 8;

// Totals over every connection the target has served, for its log.
struct TargetTotals {
    uint32_t connections = 0;
    uint32_t logins = 0;
    uint32_t commands = 0;
    uint32_t abortedTasks = 0;
    uint32_t unitResets = 0;
    uint32_t protocolErrors = 0;  // connections ended by a protocol error
    uint32_t pingsAnswered = 0;   // NOP-Outs answered with a NOP-In
};

class IscsiTarget {
public:
    explicit IscsiTarget(const TargetSettings& settings = TargetSettings{});
    ~IscsiTarget();
    IscsiTarget(const IscsiTarget&) = delete;
    IscsiTarget& operator=(const IscsiTarget&) = delete;

    // The next LUN (0, 1, ...); false when the target has as many as it takes.
    bool AddLun(sim::VirtualDrive& drive) { return units.Add(drive); }

    // Listens on 127.0.0.1 at port (0: a free port the system picks). False with the reason.
    bool Listen(uint16_t port, std::string& error);
    uint16_t port() const { return listenPort; }

    // Serves an already connected stream socket (a test's socketpair); the target closes it.
    // False when the target serves as many connections as it takes.
    bool Adopt(int socket);

    // Serves connections until Stop is called.
    void Run();
    // Makes Run return soon. Safe in a signal handler.
    void Stop();

    // What happened, as one line per event ("login", "abort", ...), when a sink is set.
    void SetEventSink(std::function<void(std::string_view)> sink) { eventSink = std::move(sink); }

    // Told of every command handed to a drive, with the time on the target's clock (seconds of
    // CLOCK_MONOTONIC).
    void SetCommandObserver(LogicalUnits::Observer observer) { units.SetObserver(std::move(observer)); }

    const TargetTotals& totals() const { return total; }
    uint32_t attachAnswers() const { return units.attachAnswers(); }
    const TargetSettings& settings() const { return targetSettings; }

private:
    struct Slot {
        int socket = -1;
        std::unique_ptr<Connection> connection;
        ConnectionEvents seen;  // the events already reported
    };

    void AcceptConnection();
    void ReadFrom(Slot& slot, double now);
    void WriteTo(Slot& slot);
    void Close(Slot& slot);
    void ReportEvents(Slot& slot);
    void Report(const char* text);
    int PollTimeoutMs(double now) const;
    static double Now();

    TargetSettings targetSettings;
    LogicalUnits units;
    int listenSocket = -1;
    uint16_t listenPort = 0;
    int stopPipe[2] = {-1, -1};
    uint16_t nextSessionHandle = 1;
    std::array<Slot, kMaxConnections> slots{};
    std::vector<uint8_t> readBuffer;
    std::function<void(std::string_view)> eventSink;
    TargetTotals total;
};

}  // namespace iscsi
