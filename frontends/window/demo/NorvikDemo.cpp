// norvik-demo: the update window on virtual drives, with the program's own package and a
// synthetic firmware in memory. See --help.

#include <QtWidgets/QApplication>

#include <cstdio>
#include <string>

#include "frontends/demo/DemoProgram.h"
#include "frontends/translation/TranslatedTexts.h"
#include "frontends/translation/UserLanguage.h"
#include "frontends/window/ProgramEntry.h"
#include "frontends/window/demo/DemoRun.h"
#include "frontends/window/demo/DemoSnapshots.h"
#include "platform/ProcessSignals.h"

int main(int argc, char* argv[])
{
    platform::StartSignalGuard("norvik-demo");
    // Help and version need no display; everything else is read after Qt has taken its own options.
    if (const int status = AnswerDemoHelpOrVersion(argc, argv, kSnapshotHelp, NORVIK_VERSION); status >= 0)
        return status;
    QApplication application(argc, argv);
    if (std::string reason; !ApplyDemoPalette(reason)) {
        std::fprintf(stderr, "norvik-demo: %s\n", reason.c_str());
        return 2;
    }
    return RunDemoWorld(
        argc, argv, [&](DemoSystem& system, const payload::PackageBlock& package, const DemoOptions& options) {
            // The build tree's catalogues as well: the demo speaks the user's language uninstalled.
            translation::UserLanguage language(QLocale::system(), translation::CatalogueDirectories(
                                                                      {QStringLiteral(NORVIK_BUILD_TRANSLATIONS_DIR)}));
            language.Install(application);
            const translation::TranslatedTexts shownTexts;
            system.SetTranslator(&shownTexts);
            DemoMessageBoxes boxes(system);
            return RunNorvikWindow(application, [&] { return MakeDemoWindow(system, package, boxes, options); });
        });
}
