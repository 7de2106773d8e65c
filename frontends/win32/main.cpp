// norvik.exe: the update window on this system's drives, with the update package the program
// carries. No options, no environment, no files.

#include <windows.h>

#include <string>

#include "frontends/win32/ProgramEntry.h"
#include "package/PackageInUse.h"
#include "platform/win32/Win32System.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    // The package's images are checked before the window sends any command: a program damaged
    // on its way says so and touches no drive.
    PackageInUse package;
    std::string reason;
    if (!package.Choose(nullptr, nullptr, reason)) {
        const std::string text = "This program's package must not be used: " + reason;
        MessageBoxA(nullptr, text.c_str(), "Norvik", MB_OK | MB_ICONERROR);
        return 1;
    }
    const std::unique_ptr<platform::System> system = platform::MakeWin32System();
    return RunNorvikWindow([&system, &package] {
        return std::make_unique<TNorvikMain>(*system, package.Block(), MadeUpProfiles::Refused);
    });
}
