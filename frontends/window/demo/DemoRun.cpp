#include "frontends/window/demo/DemoRun.h"

#include <QtCore/QPointer>
#include <QtCore/QTimer>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QMessageBox>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "frontends/window/demo/DemoSnapshots.h"

namespace {

// The user's choice of an entry: the list's own activation, as a click would give it.
void ChooseEntry(TNorvikMain& window, int entry)
{
    auto* list = window.findChild<QComboBox*>(QStringLiteral("cboDrives"));
    if (list == nullptr || entry >= list->count()) return;
    list->setCurrentIndex(entry);
    emit list->activated(entry);
}

}  // namespace

std::unique_ptr<TNorvikMain> MakeDemoWindow(DemoSystem& system, const payload::PackageBlock& package,
                                            DemoMessageBoxes& boxes, const DemoOptions& options)
{
    // The window exists only after its constructor, which may already ask for the restart.
    auto shownOver = std::make_shared<QPointer<QWidget>>();
    system.OnRestart([shownOver](uint32_t) {
        QMessageBox::information(*shownOver, QString::fromUtf8(kRestartTitle), QString::fromUtf8(kRestartText));
    });
    auto window = std::make_unique<TNorvikMain>(system, reinterpret_cast<const uint8_t*>(&package),
                                                MadeUpProfiles::Allowed, &boxes);
    *shownOver = window.get();
    if (window->TerminationRequested()) return window;

    if (options.chosenEntry >= 0) {
        TNorvikMain* target = window.get();
        const int entry = options.chosenEntry;
        QTimer::singleShot(0, target, [target, entry] { ChooseEntry(*target, entry); });
    }
    std::string reason;
    const char* snapshots = std::getenv(kSnapshotVariable);
    if (snapshots != nullptr && !ScheduleSnapshots(*window, snapshots, reason))
        std::fprintf(stderr, "norvik-demo: %s\n", reason.c_str());
    return window;
}
