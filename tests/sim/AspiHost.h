#pragma once
// What the tests of the virtual ASPI manager need of a program: the manager loaded with its two
// entry points, and execute requests filled as a program fills them.

#include <cstdint>
#include <initializer_list>

#include "sim/VirtualSystem.h"

namespace simtest {

inline sim::AspiSettings WorkingManager(bool completeLater = false)
{
    sim::AspiSettings settings;
    settings.presence = sim::AspiPresence::Present;
    settings.completeLater = completeLater;
    return settings;
}

// A loaded manager with its two entry points.
struct Manager {
    sim::VirtualSystem& system;
    platform::AspiLibrary library;
    platform::GetAspiSupportInfoEntry supportInfo;
    platform::SendAspiCommandEntry send;

    explicit Manager(sim::VirtualSystem& system)
        : system(system),
          library(system.LoadAspiLibrary("WNASPI32")),
          supportInfo(reinterpret_cast<platform::GetAspiSupportInfoEntry>(
              system.FindAspiEntry(library, platform::kGetSupportInfoName))),
          send(reinterpret_cast<platform::SendAspiCommandEntry>(
              system.FindAspiEntry(library, platform::kSendCommandName)))
    {}
    ~Manager() { system.FreeAspiLibrary(library); }
    Manager(const Manager&) = delete;
    Manager& operator=(const Manager&) = delete;

    uint32_t Send(void* request) { return send(library, request); }
};

inline platform::SRB_ExecSCSICmd ExecRequest(uint8_t adapter, uint8_t target, std::initializer_list<uint8_t> cdb,
                                             uint8_t flags, uint8_t* data, uint32_t length)
{
    platform::SRB_ExecSCSICmd request{};
    request.SRB_Cmd = platform::SC_EXEC_SCSI_CMD;
    request.SRB_HaId = adapter;
    request.SRB_Flags = flags;
    request.SRB_Target = target;
    request.SRB_BufLen = length;
    request.SRB_BufPointer = data;
    request.SRB_SenseLen = platform::kAspiSenseLength;
    request.SRB_CDBLen = 12;
    int i = 0;
    for (uint8_t byte : cdb) request.CDBByte[i++] = byte;
    return request;
}

// A TEST UNIT READY to the drive at adapter 0, target 0 that signals event when it ends.
inline platform::SRB_ExecSCSICmd NotifyingTestUnitReady(platform::EventHandle event)
{
    platform::SRB_ExecSCSICmd request = ExecRequest(0, 0, {0x00}, platform::SRB_EVENT_NOTIFY, nullptr, 0);
    request.SRB_PostProc = event;
    return request;
}

inline platform::SRB_Abort AbortOf(const void* request, uint8_t adapter = 0)
{
    platform::SRB_Abort abort{};
    abort.SRB_Cmd = platform::SC_ABORT_SRB;
    abort.SRB_HaId = adapter;
    abort.SRB_ToAbort = const_cast<void*>(request);
    return abort;
}

// The status as the manager publishes it (a release store): read it with an acquire load.
inline uint8_t StatusOf(const platform::SRB_ExecSCSICmd& request)
{
    return __atomic_load_n(&request.SRB_Status, __ATOMIC_ACQUIRE);
}

}  // namespace simtest
