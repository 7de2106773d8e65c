#pragma once
// The virtual system with a window on the transport: it keeps what the device object handed to
// the pass-through and to the ASPI manager, and can make the pass-through report failure while
// the drive's sense stays. A late, held or aborted ASPI request is the virtual manager's own
// (AspiSettings, FinishPendingAspiRequests, aspiAbortCount).

#include <cstring>
#include <memory>
#include <ostream>

#include "device/AtapiDevice.h"
#include "sim/VirtualSystem.h"

namespace devicetest {

enum class Path { PassThrough, Aspi };

inline const char* PathName(Path path) { return path == Path::Aspi ? "Aspi" : "PassThrough"; }

inline void PrintTo(Path path, std::ostream* out) { *out << PathName(path); }

class ObservedSystem : public sim::VirtualSystem {
public:
    explicit ObservedSystem(sim::ClockMode mode = sim::ClockMode::Virtual) : VirtualSystem(mode) {}

    // What the pass-through received, as the device object filled it.
    int passThroughCount = 0;
    platform::PassThroughRequest lastPassThrough{};
    // The pass-through reports failure even when the drive answered (its sense stays).
    bool failPassThroughKeepingSense = false;

    // The execute requests the ASPI manager received.
    int executeCount = 0;
    platform::SRB_ExecSCSICmd lastExecute{};

    bool SendPassThrough(platform::DriveHandle handle, platform::PassThroughRequest& request) override
    {
        ++passThroughCount;
        lastPassThrough = request;
        const bool carriedOut = VirtualSystem::SendPassThrough(handle, request);
        return carriedOut && !failPassThroughKeepingSense;
    }

    // The library handed out is this object; the entry points forward to the virtual manager.
    platform::AspiLibrary LoadAspiLibrary(const char* name) override
    {
        managerLibrary = VirtualSystem::LoadAspiLibrary(name);
        return managerLibrary != nullptr ? static_cast<platform::AspiLibrary>(this) : nullptr;
    }

    void* FindAspiEntry(platform::AspiLibrary library, const char* entryName) override
    {
        if (library != this) return nullptr;
        void* entry = VirtualSystem::FindAspiEntry(managerLibrary, entryName);
        if (entry == nullptr) return nullptr;
        if (std::strcmp(entryName, platform::kSendCommandName) == 0) {
            managerSend = reinterpret_cast<platform::SendAspiCommandEntry>(entry);
            return reinterpret_cast<void*>(&SendEntry);
        }
        managerSupportInfo = reinterpret_cast<platform::GetAspiSupportInfoEntry>(entry);
        return reinterpret_cast<void*>(&SupportInfoEntry);
    }

    void FreeAspiLibrary(platform::AspiLibrary library) override
    {
        if (library == this) VirtualSystem::FreeAspiLibrary(managerLibrary);
    }

private:
    static uint32_t SupportInfoEntry(platform::AspiLibrary library)
    {
        auto* self = static_cast<ObservedSystem*>(library);
        return self->managerSupportInfo(self->managerLibrary);
    }

    static uint32_t SendEntry(platform::AspiLibrary library, void* request)
    {
        auto* self = static_cast<ObservedSystem*>(library);
        if (static_cast<platform::SRB_Header*>(request)->SRB_Cmd == platform::SC_EXEC_SCSI_CMD) {
            ++self->executeCount;
            self->lastExecute = *static_cast<platform::SRB_ExecSCSICmd*>(request);
        }
        return self->managerSend(self->managerLibrary, request);
    }

    platform::AspiLibrary managerLibrary = nullptr;
    platform::GetAspiSupportInfoEntry managerSupportInfo = nullptr;
    platform::SendAspiCommandEntry managerSend = nullptr;
};

// A drive that answers TEST UNIT READY good: a disc in the closed tray.
inline sim::DriveSetup ReadyDrive()
{
    sim::DriveSetup setup;
    setup.drive.discPresent = true;
    setup.drive.becomingReadyPolls = 0;
    return setup;
}

// A working ASPI manager that completes every request before answering; a test changes what
// it needs.
inline sim::AspiSettings WorkingManager()
{
    sim::AspiSettings settings;
    settings.presence = sim::AspiPresence::Present;
    return settings;
}

// The NT family for pass-through; another family with a working ASPI manager for ASPI.
inline void UsePath(ObservedSystem& system, Path path)
{
    if (path != Path::Aspi) return;
    system.SetPlatformId(sim::VirtualSystem::kPlatformWindows);
    system.SetAspiManager(WorkingManager());
}

// A fault on the drive's next commands, whatever the drive received before.
inline sim::Fault NextCommands(const sim::VirtualDrive& drive, sim::FaultKind kind, uint32_t repeat = 1)
{
    sim::Fault fault;
    fault.kind = kind;
    fault.trigger = sim::FaultTrigger::Sequence;
    fault.number = drive.commandCount() + 1;
    fault.repeat = repeat;
    return fault;
}

inline sim::Fault NextSense(const sim::VirtualDrive& drive, uint8_t key, uint8_t asc, uint8_t ascq)
{
    sim::Fault fault = NextCommands(drive, sim::FaultKind::Sense);
    fault.senseKey = key;
    fault.asc = asc;
    fault.ascq = ascq;
    return fault;
}

inline sim::Fault NextSlow(const sim::VirtualDrive& drive, double seconds)
{
    sim::Fault fault = NextCommands(drive, sim::FaultKind::Slow);
    fault.seconds = seconds;
    return fault;
}

// Command blocks, twelve bytes each.
struct Cdb {
    uint8_t bytes[platform::kCdbSize] = {};
};

inline Cdb TestUnitReadyCdb() { return Cdb{}; }

inline Cdb InquiryCdb(uint8_t allocation)
{
    Cdb cdb;
    cdb.bytes[0] = 0x12;
    cdb.bytes[4] = allocation;
    return cdb;
}

inline Cdb ReadBufferCdb(uint32_t length)
{
    Cdb cdb;
    cdb.bytes[0] = 0x3C;
    cdb.bytes[1] = 0x01;
    cdb.bytes[2] = 0x01;
    cdb.bytes[6] = static_cast<uint8_t>(length >> 16);
    cdb.bytes[7] = static_cast<uint8_t>(length >> 8);
    cdb.bytes[8] = static_cast<uint8_t>(length);
    return cdb;
}

inline Cdb WriteBufferCdb(uint32_t length)
{
    Cdb cdb = ReadBufferCdb(length);
    cdb.bytes[0] = 0x3B;
    cdb.bytes[1] = 0x05;
    return cdb;
}

}  // namespace devicetest
