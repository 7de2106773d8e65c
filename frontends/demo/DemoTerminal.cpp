#include "frontends/demo/DemoTerminal.h"

#include <cstdio>
#include <memory>
#include <string>

#include "frontends/demo/DemoOptions.h"
#include "frontends/demo/DemoPackage.h"

int DemoUsageError(std::string_view reason)
{
    std::fprintf(stderr, "norvik-demo: %.*s\nTry norvik-demo --help.\n", static_cast<int>(reason.size()),
                 reason.data());
    return 2;
}

int PrintDemoHelp(std::string_view environment)
{
    std::string reason;
    const std::unique_ptr<payload::PackageBlock> package = MakeDemoPackage({}, reason);
    std::fputs(DemoHelp(package != nullptr ? SettingsLine(*package) : reason, environment).c_str(), stdout);
    return 0;
}

int PrintDemoVersion(const char* version)
{
    std::printf("norvik-demo %s\n", version);
    return 0;
}
