#pragma once
// The ASPI manager of the virtual system, over the same virtual drives: support information,
// host adapter inquiry, bus rescan, device types, execution of SCSI commands, and the abort of
// a pending execute request.
//
// An execute request completes before SendASPI32Command returns, or later: after its modelled
// time, or only when the test finishes it (held). A later completion writes the sense area,
// then the status, then signals the request's event. On the real clock a completion thread of
// the manager delivers it when its time has come. On the virtual clock nothing runs behind the
// program's back: the completion is due on the clock of the thread that sent the request, and
// that thread's own calls into the system deliver it once its clock has reached that time.
//
// The library handle is the manager itself; the entry points take it as their first argument.

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/Aspi.h"
#include "sim/VirtualClock.h"
#include "sim/VirtualEvents.h"

namespace sim {

class VirtualSystem;

// Status values of the interface that the seam does not name.
constexpr uint8_t kAspiInvalidCommand = 0x80;
constexpr uint8_t kAspiInvalidHostAdapter = 0x81;
constexpr uint8_t kAspiNoDevice = 0x82;
constexpr uint8_t kAspiInvalidRequest = 0xE0;  // a field of the request block is wrong

enum class AspiPresence : uint8_t {
    Absent,              // the library cannot be loaded
    MissingSupportInfo,  // it has no GetASPI32SupportInfo
    MissingSendCommand,  // it has no SendASPI32Command
    Present,
};

struct AspiSettings {
    AspiPresence presence = AspiPresence::Absent;
    uint8_t supportStatus = platform::SS_COMP;  // bits 8..15 of GetASPI32SupportInfo
    // Execute requests answer SS_PENDING and complete after the command's modelled time.
    bool completeLater = false;
    // Execute requests answer SS_PENDING and complete only when the test finishes them
    // (VirtualSystem::FinishPendingAspiRequests) or they are aborted.
    bool holdUntilReleased = false;
    // An abort takes a pending request back at once. False: the abort is answered SS_COMP, as
    // every abort is, but the request carries on to its own completion.
    bool honourAborts = true;
    // The adapters count the residual: the host adapter inquiry says so, and a request sent with
    // SRB_ENABLE_RESIDUAL_COUNT completes with the bytes that did not move in SRB_BufLen.
    bool countsResidual = false;
    uint8_t adapterCount = 0;     // 0: one past the highest host among the drives
    int16_t failingAdapter = -1;  // the host adapter inquiry for this adapter fails
};

class VirtualAspi {
public:
    static constexpr int kMaxPending = 64;

    VirtualAspi(VirtualSystem& system, VirtualClock& clock, VirtualEvents& events);
    ~VirtualAspi();
    VirtualAspi(const VirtualAspi&) = delete;
    VirtualAspi& operator=(const VirtualAspi&) = delete;

    void Configure(const AspiSettings& settings);

    platform::AspiLibrary Load(const char* name);
    void* FindEntry(platform::AspiLibrary library, const char* entryName);
    void Free(platform::AspiLibrary library);

    // Virtual clock: delivers the calling thread's completions whose time its clock has reached.
    void DeliverDue();
    // Virtual clock: when the calling thread's earliest timed completion that signals event is
    // due; false when none of its requests will signal it by themselves.
    bool DueTimeFor(platform::EventHandle event, int64_t& due);
    // Completes every pending request now, held or timed, whoever sent it; how many.
    int FinishPending();
    int pendingCount() const { return pendingTotal.load(); }
    uint32_t abortCount() const { return aborts.load(); }

    int loadedCount() const { return loads.load(); }
    // Calls into the manager while no library was loaded: a program that uses entry points
    // of a freed library would crash on a real system.
    uint32_t callsWhileUnloaded() const { return strayCalls.load(); }

private:
    static constexpr int kSenseAreaSize = platform::kAspiSenseLength + 2;
    struct Completion {
        bool used;
        bool held;  // waits for FinishPending or an abort
        platform::SRB_ExecSCSICmd* request;
        uint8_t status;
        bool hasSense;
        uint8_t sense[kSenseAreaSize];
        bool reportsResidual;  // SRB_BufLen is set to residual on completion
        uint32_t residual;
        platform::EventHandle event;
        uint32_t generation;
        std::thread::id sender;  // whose virtual clock the due time is counted on
        int64_t due;             // clock ticks (the real clock: monotonic nanoseconds)
    };
    template <typename Matches>
    bool TakeEarliest(Matches matches, Completion& taken);

    static uint32_t SupportInfoEntry(platform::AspiLibrary library);
    static uint32_t SendCommandEntry(platform::AspiLibrary library, void* request);
    uint32_t SupportInfo();
    uint32_t SendCommand(void* request);
    uint8_t AdapterCount() const;
    bool AdapterAnswers(uint8_t adapter) const;
    void HostAdapterInquiry(platform::SRB_HAInquiry& request);
    void GetDeviceType(platform::SRB_GDEVBlock& request);
    uint8_t ExecuteScsi(platform::SRB_ExecSCSICmd& request);
    uint8_t Abort(platform::SRB_Abort& request);
    void Finish(const Completion& completion);
    uint8_t Defer(Completion& completion, double seconds);
    void CompletionLoop();

    VirtualSystem& system;
    VirtualClock& clock;
    VirtualEvents& events;
    AspiSettings settings;
    std::atomic<int> loads{0};
    std::atomic<uint32_t> strayCalls{0};
    std::atomic<uint32_t> aborts{0};

    std::mutex pendingMutex;
    std::condition_variable pendingChanged;
    std::array<Completion, kMaxPending> pending{};
    std::atomic<int> pendingTotal{0};  // used entries; read without the lock to skip the search
    bool stopping = false;
    std::thread completer;
};

}  // namespace sim
