#include "frontends/demo/DemoProgram.h"

#include <memory>
#include <string>

#include "frontends/ProgramOptions.h"
#include "frontends/demo/DemoPackage.h"
#include "frontends/demo/DemoTerminal.h"
#include "platform/ProcessSignals.h"

int AnswerDemoHelpOrVersion(int argc, char* argv[], std::string_view environment, const char* version)
{
    if (HelpWanted(argc, argv)) return PrintDemoHelp(environment);
    if (ProgramOptionGiven(argc, argv, "--version")) return PrintDemoVersion(version);
    return -1;
}

int RunDemoWorld(int argc, char* argv[], const DemoWindowRun& runWindow)
{
    DemoOptions options;
    std::string reason;
    if (!ParseDemoOptions(argc, argv, options, reason)) return DemoUsageError(reason);
    const std::unique_ptr<payload::PackageBlock> package = MakeDemoPackage(options.settings, reason);
    if (package == nullptr) return DemoUsageError(reason);

    DemoSystem system;
    if (!system.AddDrives(options.drives, reason)) return DemoUsageError(reason);
    const int status = runWindow(system, *package, options);
    platform::ActOnSignal(platform::HeldSignal());
    return status;
}
