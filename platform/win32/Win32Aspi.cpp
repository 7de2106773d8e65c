// The ASPI manager of the Windows seam. A manager's exports take no library handle
// (DWORD __cdecl GetASPI32SupportInfo(void), DWORD __cdecl SendASPI32Command(LPSRB)), while the
// seam's entry points take the library they were found in: so the library handed out is a
// record of this file holding the module and its two exports, and the entry points handed out
// are the forwarders below, which call the record's exports. Nothing is allocated per call.

#include <cstring>
#include <mutex>

#include "platform/win32/Win32System.h"
#include "platform/win32/WindowsApi.h"

namespace platform {

namespace {

using SupportInfoExport = DWORD(__cdecl*)();
using SendCommandExport = DWORD(__cdecl*)(void* request);

struct AspiManager {
    HMODULE module;
    SupportInfoExport supportInfo;
    SendCommandExport sendCommand;
    int loads;  // LoadAspiLibrary calls not yet matched by FreeAspiLibrary; 0: the slot is free
};

// A process has one module per library file; each device object loads the manager for itself,
// so the loads of one file share its record. A few files at once are room enough.
constexpr int kMaxAspiManagers = 4;

std::mutex managersMutex;
AspiManager managers[kMaxAspiManagers] = {};

uint32_t ForwardSupportInfo(AspiLibrary library) { return static_cast<const AspiManager*>(library)->supportInfo(); }

// A manager that refuses a request outright returns the status and should write it into the
// request as well; Wine's leaves SRB_Status at SS_PENDING, and whoever waits for the request
// would wait for a completion that never comes. The returned status is written in for it.
uint32_t ForwardSendCommand(AspiLibrary library, void* request)
{
    const DWORD status = static_cast<const AspiManager*>(library)->sendCommand(request);
    const auto returned = static_cast<uint8_t>(status);
    if (request == nullptr || returned == SS_PENDING) return status;
    uint8_t* requestStatus = &static_cast<SRB_Header*>(request)->SRB_Status;
    uint8_t pending = SS_PENDING;
    __atomic_compare_exchange_n(requestStatus, &pending, returned, false, __ATOMIC_RELEASE, __ATOMIC_RELAXED);
    return status;
}

constexpr GetAspiSupportInfoEntry kSupportInfoForwarder = ForwardSupportInfo;
constexpr SendAspiCommandEntry kSendCommandForwarder = ForwardSendCommand;

// The slot that already holds module, else a free one (whose loads is 0); null when full.
AspiManager* SlotFor(HMODULE module)
{
    AspiManager* free = nullptr;
    for (AspiManager& manager : managers) {
        if (manager.loads > 0 && manager.module == module) return &manager;
        if (manager.loads == 0 && free == nullptr) free = &manager;
    }
    return free;
}

// The record behind a library handed out and not yet freed; null for anything else.
AspiManager* ManagerOf(AspiLibrary library)
{
    for (AspiManager& manager : managers) {
        if (&manager == library && manager.loads > 0) return &manager;
    }
    return nullptr;
}

}  // namespace

AspiLibrary Win32System::LoadAspiLibrary(const char* name)
{
    if (name == nullptr) return nullptr;
    const HMODULE module = LoadLibraryA(name);
    if (module == nullptr) return nullptr;
    std::lock_guard lock(managersMutex);
    AspiManager* manager = SlotFor(module);
    if (manager == nullptr) {
        FreeLibrary(module);
        return nullptr;
    }
    if (manager->loads == 0) {
        manager->module = module;
        manager->supportInfo = reinterpret_cast<SupportInfoExport>(
            reinterpret_cast<void*>(GetProcAddress(module, kGetSupportInfoName)));
        manager->sendCommand = reinterpret_cast<SendCommandExport>(
            reinterpret_cast<void*>(GetProcAddress(module, kSendCommandName)));
    }
    ++manager->loads;
    return manager;
}

void* Win32System::FindAspiEntry(AspiLibrary library, const char* entryName)
{
    if (entryName == nullptr) return nullptr;
    std::lock_guard lock(managersMutex);
    const AspiManager* manager = ManagerOf(library);
    if (manager == nullptr) return nullptr;
    if (std::strcmp(entryName, kGetSupportInfoName) == 0 && manager->supportInfo != nullptr)
        return reinterpret_cast<void*>(kSupportInfoForwarder);
    if (std::strcmp(entryName, kSendCommandName) == 0 && manager->sendCommand != nullptr)
        return reinterpret_cast<void*>(kSendCommandForwarder);
    return nullptr;
}

void Win32System::FreeAspiLibrary(AspiLibrary library)
{
    std::lock_guard lock(managersMutex);
    AspiManager* manager = ManagerOf(library);
    if (manager == nullptr) return;
    const HMODULE module = manager->module;
    if (--manager->loads == 0) *manager = AspiManager{};
    FreeLibrary(module);
}

}  // namespace platform
