// norvik-demo: the update window on virtual drives, with the program's own package and a
// synthetic firmware in memory. See --help.

#include <QtWidgets/QApplication>

#include "frontends/demo/DemoOptions.h"
#include "frontends/demo/DemoPackage.h"
#include "frontends/demo/DemoRun.h"
#include "frontends/demo/DemoSnapshots.h"
#include "frontends/demo/DemoSystem.h"
#include "frontends/demo/DemoTerminal.h"
#include "frontends/window/ProgramEntry.h"
#include "platform/ProcessSignals.h"

int main(int argc, char* argv[])
{
    platform::StartSignalGuard("norvik-demo");
    // Help and version need no display; everything else is read after Qt has taken its own options.
    if (HelpWanted(argc, argv)) return PrintDemoHelp(kSnapshotHelp);
    if (ProgramOptionGiven(argc, argv, "--version")) return PrintDemoVersion(NORVIK_VERSION);
    QApplication application(argc, argv);
    DemoOptions options;
    std::string reason;
    if (!ParseDemoOptions(argc, argv, options, reason)) return DemoUsageError(reason);
    const std::unique_ptr<payload::PackageBlock> package = MakeDemoPackage(options.settings, reason);
    if (package == nullptr) return DemoUsageError(reason);

    DemoSystem system;
    if (!system.AddDrives(options.drives, reason)) return DemoUsageError(reason);
    DemoMessageBoxes boxes(system);
    const int status = RunNorvikWindow(application, [&] { return MakeDemoWindow(system, *package, boxes, options); });
    // A signal held off while drives were written ends the program as that signal would have.
    platform::ActOnSignal(platform::HeldSignal());
    return status;
}
