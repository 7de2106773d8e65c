// norvik: the update window on this system's drives, with the update package the program
// carries. No options, no environment, no files.

#include <QtWidgets/QApplication>

#include "app/NorvikMain.h"
#include "app/ProgramEntry.h"
#include "payload/PackageBlock.h"
#include "platform/linux/LinuxSystem.h"

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    platform::LinuxSystem system;
    return RunNorvikWindow(application, [&system] {
        return std::make_unique<TNorvikMain>(system, payload::OwnPackageBlock());
    });
}
