// norvik: the update window on this system's drives, with the update package the program
// carries. No options but --help and --version; the locale's language for its texts.

#include <QtWidgets/QApplication>

#include <cstdio>

#include "frontends/translation/UserLanguage.h"
#include "frontends/window/NorvikMain.h"
#include "frontends/window/ProgramEntry.h"
#include "payload/PackageBlock.h"
#include "platform/ProcessSignals.h"
#include "platform/linux/LinuxSystem.h"

namespace {

constexpr char kHelp[] =
    "Usage: norvik\n"
    "       norvik --help | --version\n"
    "\n"
    "Writes the firmware that this program carries into the machine's DVD drives of\n"
    "its model, in one window: it lists the drives, says which of them may be\n"
    "updated, checks that each tray is empty and closed, and programs the drive.\n"
    "Sending firmware commands needs access to the drive's SCSI generic node\n"
    "(/dev/sgN); see norvik(1).\n";

}  // namespace

int main(int argc, char* argv[])
{
    if (ProgramOptionGiven(argc, argv, "--help") || ProgramOptionGiven(argc, argv, "-h")) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (ProgramOptionGiven(argc, argv, "--version")) {
        std::printf("norvik %s\n", NORVIK_VERSION);
        return 0;
    }
    platform::StartSignalGuard("norvik");
    QApplication application(argc, argv);
    translation::UserLanguage language(QLocale::system(), translation::CatalogueDirectories());
    language.Install(application);
    platform::LinuxSystem system;
    const int status = RunNorvikWindow(application, [&system] {
        return std::make_unique<TNorvikMain>(system, payload::OwnPackageBlock(), MadeUpProfiles::Refused);
    });
    // A signal held off while drives were written ends the program as that signal would have.
    platform::ActOnSignal(platform::HeldSignal());
    return status;
}
