// norvik-demo.exe: the Windows update window on virtual drives, with the program's own package
// and a synthetic firmware in memory. A console program, as it is started from a command line:
// --help, --version and its usage errors go to the console. See --help.

#include <windows.h>

#include "frontends/ProgramOptions.h"
#include "frontends/demo/DemoOptions.h"
#include "frontends/demo/DemoPackage.h"
#include "frontends/demo/DemoSystem.h"
#include "frontends/demo/DemoTerminal.h"
#include "frontends/win32/DemoRun.h"
#include "frontends/win32/ProgramEntry.h"
#include "platform/ProcessSignals.h"

int main(int argc, char* argv[])
{
    platform::StartSignalGuard("norvik-demo");
    if (HelpWanted(argc, argv)) return PrintDemoHelp({});
    if (ProgramOptionGiven(argc, argv, "--version")) return PrintDemoVersion(NORVIK_VERSION);
    DemoOptions options;
    std::string reason;
    if (!ParseDemoOptions(argc, argv, options, reason)) return DemoUsageError(reason);
    const std::unique_ptr<payload::PackageBlock> package = MakeDemoPackage(options.settings, reason);
    if (package == nullptr) return DemoUsageError(reason);

    DemoSystem system;
    if (!system.AddDrives(options.drives, reason)) return DemoUsageError(reason);
    DemoMessageBoxes boxes(system);
    const int status = RunNorvikWindow([&] { return MakeDemoWindow(system, *package, boxes, options); });
    // A stop request held off while drives were written ends the program as it would have.
    platform::ActOnSignal(platform::HeldSignal());
    return status;
}
