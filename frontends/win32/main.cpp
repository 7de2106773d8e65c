// norvik.exe: the update window on this system's drives, with the update package the program
// carries. No options, no environment, no files.

#include <windows.h>

#include "frontends/win32/ProgramEntry.h"
#include "payload/PackageBlock.h"
#include "platform/win32/Win32System.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    const std::unique_ptr<platform::System> system = platform::MakeWin32System();
    return RunNorvikWindow([&system] {
        return std::make_unique<TNorvikMain>(*system, payload::OwnPackageBlock(), MadeUpProfiles::Refused);
    });
}
