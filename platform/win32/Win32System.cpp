// The seam on the Windows API: counter, sleep, version, events, restart, the sleep inhibitor,
// the event log and message boxes. The drives are in Win32Drives.cpp, the ASPI manager in
// Win32Aspi.cpp.

#include "platform/win32/Win32System.h"

#include <cstdio>

#include "platform/JournalRecord.h"
#include "platform/win32/WindowsApi.h"

namespace platform {

namespace {

constexpr const char* kEventSourceName = "Norvik";

HANDLE HandleOf(EventHandle event) { return static_cast<HANDLE>(event); }

UINT IconStyle(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Warning: return MB_ICONWARNING;
    case MessageIcon::Information: return MB_ICONINFORMATION;
    case MessageIcon::Error: break;
    }
    return MB_ICONERROR;
}

}  // namespace

Win32System::~Win32System()
{
    ReleaseShutdownInhibitor();
    if (eventSource != nullptr) DeregisterEventSource(static_cast<HANDLE>(eventSource));
}

bool Win32System::QueryPlatformId(uint32_t& platformId)
{
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version)) return false;
    platformId = version.dwPlatformId;
    return true;
}

bool Win32System::QueryCounterFrequency(int64_t& ticksPerSecond)
{
    LARGE_INTEGER frequency{};
    ticksPerSecond = 0;
    if (!QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0) return false;
    ticksPerSecond = frequency.QuadPart;
    return true;
}

int64_t Win32System::QueryCounter()
{
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

void Win32System::Sleep(uint32_t milliseconds) { ::Sleep(milliseconds); }

EventHandle Win32System::CreateEvent() { return CreateEventA(nullptr, TRUE, FALSE, nullptr); }

bool Win32System::WaitForEvent(EventHandle event, uint32_t milliseconds)
{
    return event != nullptr && WaitForSingleObject(HandleOf(event), milliseconds) == WAIT_OBJECT_0;
}

void Win32System::CloseEvent(EventHandle event)
{
    if (event != nullptr) CloseHandle(HandleOf(event));
}

void Win32System::SignalEvent(EventHandle event)
{
    if (event != nullptr) SetEvent(HandleOf(event));
}

// Enables SeShutdownPrivilege in the process's own token. AdjustTokenPrivileges succeeds also
// when the token does not hold the privilege; only its last error tells that nothing was enabled.
bool Win32System::EnableShutdownPrivilege()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    bool enabled = false;
    if (LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid)) {
        SetLastError(ERROR_SUCCESS);
        enabled = AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
                  GetLastError() == ERROR_SUCCESS;
    }
    CloseHandle(token);
    return enabled;
}

// The flags are ExitWindowsEx's own (2 reboot, 4 force); the reason is a planned application
// installation, which is what a firmware update is.
bool Win32System::RequestRestart(uint32_t flags)
{
    return ExitWindowsEx(flags, SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_MINOR_INSTALLATION |
                                    SHTDN_REASON_FLAG_PLANNED) != FALSE;
}

// SetThreadExecutionState keeps the system from going to sleep on its own while idle, for as
// long as the thread that asked lives or until it asks again. It cannot refuse a sleep or a
// shutdown that the user or another program asks for: on Windows only a top-level window that
// answers WM_QUERYENDSESSION (with ShutdownBlockReasonCreate for the reason) can hold a shutdown
// off, and nothing holds off a forced one. The reason has nowhere to go here.
void Win32System::InhibitShutdown(const char*)
{
    if (inhibiting) return;
    inhibiting = SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED) != 0;
}

void Win32System::ReleaseShutdownInhibitor()
{
    if (!inhibiting) return;
    SetThreadExecutionState(ES_CONTINUOUS);
    inhibiting = false;
}

// The source is not registered under the event log's registry key (that needs an administrator
// and would be state left behind), so the viewer shows the line without a message file; the
// line itself is kept whole. The event log has no fields of its own here: the record's line
// carries them in words.
void Win32System::RecordInJournal(const JournalRecord& record)
{
    std::call_once(eventSourceRegistered, [this] { eventSource = RegisterEventSourceA(nullptr, kEventSourceName); });
    if (eventSource == nullptr) return;
    const char* lines[1] = {record.message};
    ReportEventA(static_cast<HANDLE>(eventSource),
                 static_cast<WORD>(record.failure ? EVENTLOG_ERROR_TYPE : EVENTLOG_INFORMATION_TYPE), 0, 0, nullptr, 1,
                 0, lines, nullptr);
}

// Without a desktop to show it on (a service, Wine without a display) the box fails at once: 0 on
// Windows, -1 on Wine, never IDOK, the one answer of a box with only OK. The message then goes to
// the standard error stream, as on a system without windows, so that it is not lost.
void Win32System::ShowMessage(const char* text, const char* caption, MessageIcon icon)
{
    const char* shownText = text != nullptr ? text : "";
    const char* shownCaption = caption != nullptr ? caption : "";
    if (MessageBoxA(nullptr, shownText, shownCaption, MB_OK | IconStyle(icon)) != IDOK)
        std::fprintf(stderr, "%s: %s\n", shownCaption, shownText);
}

std::unique_ptr<System> MakeWin32System() { return std::make_unique<Win32System>(); }

}  // namespace platform
