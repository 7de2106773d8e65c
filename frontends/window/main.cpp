// norvik: the update window on this system's drives, with the update package the program
// carries, or the one in FILE (a Norvik program that carries one, or a package file). No
// options but --help and --version; the locale's language for its texts.

#include <QtWidgets/QApplication>
#include <QtWidgets/QMessageBox>

#include <cstdio>
#include <cstring>
#include <string>

#include "frontends/translation/UserLanguage.h"
#include "frontends/window/NorvikMain.h"
#include "frontends/window/ProgramEntry.h"
#include "package/PackageInUse.h"
#include "platform/ProcessSignals.h"
#include "platform/linux/LinuxSystem.h"

namespace {

constexpr char kHelp[] =
    "Usage: norvik [FILE]\n"
    "       norvik --help | --version\n"
    "\n"
    "Writes the firmware that this program carries, or that FILE carries (a Norvik\n"
    "program for Linux or Windows, or a package file, .nvpkg), into the machine's\n"
    "DVD drives of its model, in one window: it lists the drives, says which of\n"
    "them may be updated, checks that each tray is empty and closed, and programs\n"
    "the drive. FILE is only read, never run, and refused with the reason when its\n"
    "package cannot be right.\n"
    "Sending firmware commands needs access to the drive's SCSI generic node\n"
    "(/dev/sgN); see norvik(1).\n";

// The one FILE of the command line, once Qt has taken its own options; empty for none. False,
// with the reason, for more than one, or an option the program does not know.
bool PackageFileArgument(int argc, char* argv[], std::string& file, std::string& reason)
{
    for (int i = 1; i < argc; ++i) {
        const bool option = argv[i][0] == '-' && std::strcmp(argv[i], "-") != 0;
        if (option || !file.empty()) {
            reason = std::string(option ? "unknown option " : "more than one file: ") + argv[i] +
                     " (see norvik --help)";
            return false;
        }
        file = argv[i];
    }
    return true;
}

// Shown in a box, since the program may have been started from a file manager, and on standard
// error for whoever started it from a terminal.
void ShowRefusal(const std::string& text)
{
    std::fprintf(stderr, "norvik: %s\n", text.c_str());
    QMessageBox::critical(nullptr, QStringLiteral("Norvik"), QString::fromStdString(text));
}

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
    std::string file;
    std::string reason;
    if (!PackageFileArgument(argc, argv, file, reason)) {
        std::fprintf(stderr, "norvik: %s\n", reason.c_str());
        return 2;
    }
    // Chosen, and its images checked, before the window sends any command.
    PackageInUse package;
    if (!package.Choose(file.c_str(), "/proc/self/exe", reason)) {
        ShowRefusal((file.empty() ? std::string("this program's package") : file) + " must not be used: " + reason);
        return 1;
    }
    const std::string note = MissingDigestsNote(package, file.c_str());
    if (!note.empty()) std::fprintf(stderr, "norvik: note: %s\n", note.c_str());
    platform::LinuxSystem system;
    const int status = RunNorvikWindow(application, [&system, &package] {
        auto window = std::make_unique<TNorvikMain>(system, package.Block(), MadeUpProfiles::Refused);
        window->SetPackageIdentity(package.IdentityHex());
        return window;
    });
    // A signal held off while drives were written ends the program as that signal would have.
    platform::ActOnSignal(platform::HeldSignal());
    return status;
}
