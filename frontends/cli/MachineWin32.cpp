// The machine on Windows: the system of the Windows API. A drive's commands go to its volume
// device, which the system opens itself, so list names no command node and refuses none.

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "frontends/cli/Machine.h"
#include "platform/win32/Win32System.h"

namespace cli {

struct Machine::Parts {
    platform::Win32System system;
};

// A console program shows no box of its own, nor lets the system show one for it: a drive
// without a disc, or an ASPI manager whose libraries are missing, fails the call instead of
// asking someone who may not be there. The advice about a refused right is one line for a
// command prompt.
Machine::Machine()
{
    SetErrorMode(SetErrorMode(0) | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    parts = std::make_unique<Parts>();
    parts->system.AdviseConsoleReader();
}
Machine::~Machine() = default;
platform::System& Machine::System() { return parts->system; }

const char* const kOwnProgramFile = nullptr;
const CommandNodeLookup kMachineCommandNode = nullptr;
const NodeRefusalLookup kMachineNodeRefusal = nullptr;

// A console, not any character device: _isatty also says yes for the null device, from which no
// one answers a question.
bool IsTerminal(std::FILE* stream)
{
    const intptr_t handle = _get_osfhandle(_fileno(stream));
    DWORD mode = 0;
    return handle != -1 && GetConsoleMode(reinterpret_cast<HANDLE>(handle), &mode) != 0;
}

bool GuardStandardStreams()
{
    bool outputOpen = true;
    for (const int stream : {0, 1, 2}) {
        if (_get_osfhandle(stream) != -1) continue;
        if (stream == 1) outputOpen = false;
        const int null = _open("NUL", _O_RDWR);
        if (null >= 0 && null != stream) {
            _dup2(null, stream);
            _close(null);
        }
    }
    return outputOpen;
}

// The update records go to the event log, which the program does not read back.
std::unique_ptr<platform::JournalHistory> MakeMachineHistory() { return nullptr; }

}  // namespace cli
