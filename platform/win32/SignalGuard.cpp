// The console's stop requests on Windows: Ctrl+C, Ctrl+Break, the console window closed, the user
// logging off, the system shutting down. Windows runs the handler below on a thread of its own
// for each; while drives may be being written, it holds the request off and keeps the first.
//
// What can be held off:
// - Ctrl+C and Ctrl+Break: for as long as needed. The handler answers that it took the event,
//   and the program goes on; the front end ends the process once the update is over.
// - Closing the console window: only for a while. Windows ends the process once the handler
//   returns, or when it has not returned within a few seconds (the system's hung-application
//   time-out, 5 s by default) whatever it does. The handler does not return while the update is
//   under way, so the process runs to the end of that grace and no further; a firmware write cut
//   off there can leave the drive without working firmware, and nothing in a console program can
//   hold it off longer. The console window's Close command is greyed out meanwhile (HoldSignals).
// - Logging off and shutting down: a console program that uses the window system (this one shows
//   message boxes) is not told about them at all; a top-level window answering
//   WM_QUERYENDSESSION is what can ask Windows to wait.
// - Under Wine, SIGINT sent to the program's Linux process arrives as Ctrl+C and is held like it;
//   SIGTERM and SIGHUP end the process at once, held or not, as Wine handles them itself.
//
// The signal numbers of this interface are the console control events plus one, so that 0 still
// means none: 1 Ctrl+C, 2 Ctrl+Break, 3 close, 6 logoff, 7 shutdown.

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/ProcessSignals.h"
#include "platform/win32/WindowsApi.h"

namespace platform {

namespace {

// The process's exit status after a stop request, as Windows's own handler ends it.
constexpr UINT kStopExitStatus = 0xC000013A;  // STATUS_CONTROL_C_EXIT

std::atomic<bool> holding{false};
std::atomic<int> held{0};
// Whether the program's ending is decided; each request is decided under the lock, so that none
// acts or is held once the ending is settled.
std::mutex decision;
bool settled = false;
char heldOffLine[160] = {};
DWORD heldOffLength = 0;

bool EndsConsole(DWORD event)
{
    return event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
}

BOOL WINAPI TakeConsoleEvent(DWORD event)
{
    const int signal = static_cast<int>(event) + 1;
    {
        const std::lock_guard<std::mutex> lock(decision);
        // Not held: the process ends at once, with the status Windows's own handler gives it
        // (Wine's ends a program with status 0 on Ctrl+C, which a shell would take for a success).
        if (!settled && !holding.load()) ActOnSignal(signal);
        // Once the program's ending is decided, a request changes nothing: the program is ending.
        if (!settled) {
            int none = 0;
            held.compare_exchange_strong(none, signal);
            DWORD written = 0;
            WriteFile(GetStdHandle(STD_ERROR_HANDLE), heldOffLine, heldOffLength, &written, nullptr);
        }
    }
    // Returning would let Windows end the process at once; it ends it after its grace instead,
    // or the front end does once the update is over.
    if (EndsConsole(event)) {
        for (;;) ::Sleep(INFINITE);
    }
    return TRUE;
}

}  // namespace

void StartSignalGuard(const char* programName)
{
    const int length = std::snprintf(heldOffLine, sizeof heldOffLine,
                                     "\r\n%s: the firmware is being written; the request to stop is held off until the "
                                     "update is over\r\n",
                                     programName != nullptr ? programName : "");
    heldOffLength = length > 0 ? static_cast<DWORD>(std::min<std::size_t>(length, sizeof heldOffLine - 1)) : 0;
    SetConsoleCtrlHandler(TakeConsoleEvent, TRUE);
}

// While held, the console window's Close command is greyed out as well, so that the window is
// not closed by mistake: a close can be held off only for the few seconds above. A console
// without a window of its own (a terminal program's tab, Wine) has no such command to grey.
void HoldSignals(bool hold)
{
    holding.store(hold);
    const HWND console = GetConsoleWindow();
    const HMENU menu = console != nullptr ? GetSystemMenu(console, FALSE) : nullptr;
    if (menu != nullptr) EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | (hold ? MF_GRAYED : MF_ENABLED));
}

int HeldSignal() { return held.load(); }

int SettleEndingSignal()
{
    const std::lock_guard<std::mutex> lock(decision);
    settled = true;
    return held.load();
}

int ExitStatusAfter(int signal, int status) { return signal != 0 ? static_cast<int>(kStopExitStatus) : status; }

// What Windows's own handler does with a stop request: the process ends at once, with
// STATUS_CONTROL_C_EXIT (a Unix shell under Wine sees its low byte, 58).
void ActOnSignal(int signal)
{
    if (signal == 0) return;
    std::fflush(nullptr);
    ExitProcess(kStopExitStatus);
}

}  // namespace platform
