// norvik-demo.exe: the Windows update window on virtual drives, with the program's own package
// and a synthetic firmware in memory. A console program, as it is started from a command line:
// --help, --version and its usage errors go to the console. See --help.

#include <windows.h>

#include "frontends/demo/DemoProgram.h"
#include "frontends/win32/DemoRun.h"
#include "frontends/win32/ProgramEntry.h"
#include "platform/ProcessSignals.h"

int main(int argc, char* argv[])
{
    platform::StartSignalGuard("norvik-demo");
    if (const int status = AnswerDemoHelpOrVersion(argc, argv, {}, NORVIK_VERSION); status >= 0) return status;
    return RunDemoWorld(argc, argv,
                        [](DemoSystem& system, const payload::PackageBlock& package, const DemoOptions& options) {
                            DemoMessageBoxes boxes(system);
                            return RunNorvikWindow([&] { return MakeDemoWindow(system, package, boxes, options); });
                        });
}
