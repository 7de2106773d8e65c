// norvik: the update window on this system's drives, with the update package the program
// carries. No options, no environment, no files.

#include <QtWidgets/QApplication>

#include "app/NorvikMain.h"
#include "app/ProgramEntry.h"
#include "payload/PackageBlock.h"
#include "platform/ProcessSignals.h"
#include "platform/linux/LinuxSystem.h"

int main(int argc, char* argv[])
{
    platform::StartSignalGuard("norvik");
    QApplication application(argc, argv);
    platform::LinuxSystem system;
    const int status = RunNorvikWindow(application, [&system] {
        return std::make_unique<TNorvikMain>(system, payload::OwnPackageBlock());
    });
    // A signal held off while drives were written ends the program as that signal would have.
    platform::ActOnSignal(platform::HeldSignal());
    return status;
}
