#include "sim/VirtualAspi.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <strings.h>

#include "sim/VirtualSystem.h"

namespace sim {

namespace {

using namespace platform;

void PutText(uint8_t (&field)[16], const char* text)
{
    std::memset(field, ' ', sizeof field);
    std::memcpy(field, text, std::min(std::strlen(text), sizeof field));
}

DataDirection DirectionOf(uint8_t flags)
{
    if ((flags & SRB_DIR_IN) && !(flags & SRB_DIR_OUT)) return DataDirection::In;
    if ((flags & SRB_DIR_OUT) && !(flags & SRB_DIR_IN)) return DataDirection::Out;
    return DataDirection::None;
}

// The manager writes the status last, and from any thread: the program may be polling it.
void PublishStatus(SRB_ExecSCSICmd& request, uint8_t status)
{
    __atomic_store_n(&request.SRB_Status, status, __ATOMIC_RELEASE);
}

}  // namespace

VirtualAspi::VirtualAspi(VirtualSystem& system, VirtualClock& clock, VirtualEvents& events)
    : system(system), clock(clock), events(events)
{}

VirtualAspi::~VirtualAspi()
{
    {
        std::lock_guard lock(pendingMutex);
        stopping = true;
    }
    pendingChanged.notify_all();
    if (completer.joinable()) completer.join();
}

void VirtualAspi::Configure(const AspiSettings& newSettings) { settings = newSettings; }

AspiLibrary VirtualAspi::Load(const char* name)
{
    if (name == nullptr || settings.presence == AspiPresence::Absent) return nullptr;
    if (strcasecmp(name, kAspiLibraryName) != 0 && strcasecmp(name, "WNASPI32.DLL") != 0) {
        return nullptr;
    }
    ++loads;
    return this;
}

void* VirtualAspi::FindEntry(AspiLibrary library, const char* entryName)
{
    if (library != this || entryName == nullptr) return nullptr;
    if (std::strcmp(entryName, kGetSupportInfoName) == 0 && settings.presence != AspiPresence::MissingSupportInfo) {
        return reinterpret_cast<void*>(&SupportInfoEntry);
    }
    if (std::strcmp(entryName, kSendCommandName) == 0 && settings.presence != AspiPresence::MissingSendCommand) {
        return reinterpret_cast<void*>(&SendCommandEntry);
    }
    return nullptr;
}

void VirtualAspi::Free(AspiLibrary library)
{
    if (library != this) return;
    int count = loads.load();
    while (count > 0 && !loads.compare_exchange_weak(count, count - 1)) {
        // another thread changed the count meanwhile: count holds its value, try again
    }
}

uint32_t VirtualAspi::SupportInfoEntry(AspiLibrary library)
{
    return static_cast<VirtualAspi*>(library)->SupportInfo();
}

uint32_t VirtualAspi::SendCommandEntry(AspiLibrary library, void* request)
{
    return static_cast<VirtualAspi*>(library)->SendCommand(request);
}

uint32_t VirtualAspi::SupportInfo()
{
    if (loads.load() == 0) {
        ++strayCalls;
        return uint32_t{SS_NO_ASPI} << 8;
    }
    return (uint32_t{settings.supportStatus} << 8) | AdapterCount();
}

uint8_t VirtualAspi::AdapterCount() const
{
    if (settings.adapterCount != 0) return settings.adapterCount;
    return static_cast<uint8_t>(system.HighestAdapter() + 1);
}

bool VirtualAspi::AdapterAnswers(uint8_t adapter) const
{
    return adapter < AdapterCount() && adapter != settings.failingAdapter;
}

uint32_t VirtualAspi::SendCommand(void* request)
{
    if (request == nullptr) return kAspiInvalidCommand;
    auto& header = *static_cast<SRB_Header*>(request);
    if (loads.load() == 0) {
        ++strayCalls;
        header.SRB_Status = SS_ERR;
        return SS_ERR;
    }
    switch (header.SRB_Cmd) {
    case SC_HA_INQUIRY: HostAdapterInquiry(*static_cast<SRB_HAInquiry*>(request)); break;
    case SC_GET_DEV_TYPE: GetDeviceType(*static_cast<SRB_GDEVBlock*>(request)); break;
    case SC_RESCAN_SCSI_BUS:
        header.SRB_Status = AdapterAnswers(header.SRB_HaId) ? SS_COMP : kAspiInvalidHostAdapter;
        break;
    case SC_EXEC_SCSI_CMD:
        // Not read back from the request: a deferred completion may be writing it already.
        return ExecuteScsi(*static_cast<SRB_ExecSCSICmd*>(request));
    case SC_ABORT_SRB: return Abort(*static_cast<SRB_Abort*>(request));
    default: header.SRB_Status = kAspiInvalidCommand; break;
    }
    return header.SRB_Status;
}

void VirtualAspi::HostAdapterInquiry(SRB_HAInquiry& request)
{
    if (!AdapterAnswers(request.SRB_HaId)) {
        request.SRB_Status = kAspiInvalidHostAdapter;
        return;
    }
    request.HA_Count = AdapterCount();
    request.HA_SCSI_ID = 7;
    PutText(request.HA_ManagerId, "ASPI for WIN32");
    PutText(request.HA_Identifier, "VIRTUAL ATAPI");
    std::memset(request.HA_Unique, 0, sizeof request.HA_Unique);
    if (settings.countsResidual) request.HA_Unique[kHaUniqueFlagsByte] = RESIDUAL_COUNT_SUPPORTED;
    request.SRB_Status = SS_COMP;
}

void VirtualAspi::GetDeviceType(SRB_GDEVBlock& request)
{
    if (!AdapterAnswers(request.SRB_HaId)) {
        request.SRB_Status = kAspiInvalidHostAdapter;
        return;
    }
    VirtualDrive* drive = system.DriveOnAdapter(request.SRB_HaId, request.SRB_Target, request.SRB_Lun);
    if (drive == nullptr || drive->gone()) {
        request.SRB_DeviceType = 0x1F;  // unknown or no device
        request.SRB_Status = kAspiNoDevice;
        return;
    }
    request.SRB_DeviceType = DTYPE_CDROM;
    request.SRB_Status = SS_COMP;
}

// Hands the command block to the drive at the request's address and completes the request,
// now or later as the settings say. Returns the status as SendASPI32Command answers it.
uint8_t VirtualAspi::ExecuteScsi(SRB_ExecSCSICmd& request)
{
    Completion completion{};
    completion.request = &request;
    completion.status = kAspiInvalidHostAdapter;
    VirtualDrive* drive = nullptr;
    if (AdapterAnswers(request.SRB_HaId)) {
        completion.status = kAspiNoDevice;
        drive = system.DriveOnAdapter(request.SRB_HaId, request.SRB_Target, request.SRB_Lun);
    }
    if (drive == nullptr) {
        PublishStatus(request, completion.status);
        return completion.status;
    }

    CommandRequest command{};
    std::memcpy(command.cdb, request.CDBByte, std::min<size_t>(request.SRB_CDBLen, kCdbSize));
    command.direction = DirectionOf(request.SRB_Flags);
    command.data = request.SRB_BufPointer;
    command.length = request.SRB_BufLen;
    const bool dataMissing = command.data == nullptr && command.length > 0 && command.direction != DataDirection::None;

    CommandReply reply{};
    if (!dataMissing) reply = drive->Execute(command);
    completion.status = reply.delivered && !reply.hasSense ? SS_COMP : SS_ERR;
    completion.hasSense = reply.hasSense;
    completion.reportsResidual = settings.countsResidual && (request.SRB_Flags & SRB_ENABLE_RESIDUAL_COUNT) != 0;
    completion.residual = command.length - std::min(reply.transferred, command.length);
    if (reply.hasSense) {
        const size_t length = std::min<size_t>({request.SRB_SenseLen, sizeof completion.sense, sizeof reply.sense});
        std::memcpy(completion.sense, reply.sense, length);
    }
    const bool notify = (request.SRB_Flags & SRB_EVENT_NOTIFY) != 0;
    if (notify && events.Generation(request.SRB_PostProc, completion.generation)) {
        completion.event = request.SRB_PostProc;
    }
    if (settings.completeLater || settings.holdUntilReleased) {
        return Defer(completion, reply.seconds);
    }
    clock.Spend(reply.seconds);
    Finish(completion);
    return completion.status;
}

// Takes the request back from the manager when it is still pending: it ends at once with
// SS_ABORTED, no sense, and its event signalled. The drive has carried the command out when it
// was sent; only its completion is taken away. The abort itself is answered SS_COMP whether or
// not the request was still pending (a request that ended first keeps its own status), as the
// interface answers an abort on a valid adapter; the program reads the aborted request's status
// to learn the outcome. No request to abort at all is a wrong field of the abort request.
uint8_t VirtualAspi::Abort(SRB_Abort& request)
{
    ++aborts;
    const void* target = request.SRB_ToAbort;
    if (!AdapterAnswers(request.SRB_HaId) || target == nullptr) {
        request.SRB_Status = target == nullptr ? kAspiInvalidRequest : kAspiInvalidHostAdapter;
        return request.SRB_Status;
    }
    Completion aborted{};
    if (settings.honourAborts && TakeEarliest([target](const Completion& c) { return c.request == target; }, aborted)) {
        aborted.status = SS_ABORTED;
        aborted.hasSense = false;
        std::memset(aborted.sense, 0, sizeof aborted.sense);
        Finish(aborted);
    }
    request.SRB_Status = SS_COMP;
    return SS_COMP;
}

void VirtualAspi::Finish(const Completion& completion)
{
    SRB_ExecSCSICmd& request = *completion.request;
    std::memcpy(request.SenseArea, completion.sense, sizeof request.SenseArea);
    if (completion.reportsResidual) request.SRB_BufLen = completion.residual;
    request.SRB_TargStat = completion.hasSense ? 0x02 : 0x00;  // check condition
    PublishStatus(request, completion.status);
    if (completion.event != nullptr) events.Signal(completion.event, completion.generation);
}

// Removes the pending completion that matches and is due first, under the lock, so that exactly
// one of the completion thread, an abort, a delivery and FinishPending finishes a request.
template <typename Matches>
bool VirtualAspi::TakeEarliest(Matches matches, Completion& taken)
{
    std::lock_guard lock(pendingMutex);
    auto next = pending.end();
    for (auto it = pending.begin(); it != pending.end(); ++it) {
        if (it->used && matches(*it) && (next == pending.end() || it->due < next->due)) next = it;
    }
    if (next == pending.end()) return false;
    taken = *next;
    next->used = false;
    --pendingTotal;
    pendingChanged.notify_all();
    return true;
}

// The request stays pending, due the command's modelled time from now on the sender's clock
// (or held). The sender's clock does not move: the time passes while the program waits.
uint8_t VirtualAspi::Defer(Completion& completion, double seconds)
{
    completion.used = true;
    completion.held = settings.holdUntilReleased;
    completion.sender = std::this_thread::get_id();
    completion.due = clock.Now() + VirtualClock::TicksOf(seconds);
    PublishStatus(*completion.request, SS_PENDING);

    std::unique_lock lock(pendingMutex);
    auto free = std::find_if(pending.begin(), pending.end(), [](auto& c) { return !c.used; });
    if (free == pending.end()) {  // no room to defer: complete now
        lock.unlock();
        clock.Spend(seconds);
        Finish(completion);
        return completion.status;
    }
    *free = completion;
    ++pendingTotal;
    if (clock.mode() == ClockMode::Real && !completer.joinable()) {
        completer = std::thread(&VirtualAspi::CompletionLoop, this);
    }
    pendingChanged.notify_all();
    return SS_PENDING;
}

void VirtualAspi::DeliverDue()
{
    if (clock.mode() == ClockMode::Real || pendingTotal.load() == 0) return;
    const std::thread::id self = std::this_thread::get_id();
    const int64_t now = clock.Now();
    auto due = [self, now](const Completion& c) { return !c.held && c.sender == self && c.due <= now; };
    Completion completion{};
    while (TakeEarliest(due, completion)) Finish(completion);
}

bool VirtualAspi::DueTimeFor(EventHandle event, int64_t& due)
{
    if (event == nullptr || pendingTotal.load() == 0) return false;
    const std::thread::id self = std::this_thread::get_id();
    std::lock_guard lock(pendingMutex);
    bool found = false;
    for (const Completion& c : pending) {
        if (c.used && !c.held && c.sender == self && c.event == event && (!found || c.due < due)) {
            due = c.due;
            found = true;
        }
    }
    return found;
}

int VirtualAspi::FinishPending()
{
    int finished = 0;
    Completion completion{};
    while (TakeEarliest([](const Completion&) { return true; }, completion)) {
        Finish(completion);
        ++finished;
    }
    return finished;
}

// The real clock's deliveries: the timed completions, each when its time has come.
void VirtualAspi::CompletionLoop()
{
    std::unique_lock lock(pendingMutex);
    while (!stopping) {
        auto next = pending.end();
        for (auto it = pending.begin(); it != pending.end(); ++it) {
            if (it->used && !it->held && (next == pending.end() || it->due < next->due)) next = it;
        }
        if (next == pending.end()) {
            pendingChanged.wait(lock);
            continue;
        }
        const std::chrono::steady_clock::time_point due{
            std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::nanoseconds(next->due))};
        if (due > std::chrono::steady_clock::now()) {
            pendingChanged.wait_until(lock, due);
            continue;
        }
        const Completion completion = *next;
        next->used = false;
        --pendingTotal;
        lock.unlock();
        Finish(completion);
        lock.lock();
    }
}

}  // namespace sim
