#include "frontends/window/demo/DemoSnapshots.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QPointer>
#include <QtCore/QTimer>
#include <QtGui/QPixmap>
#include <QtWidgets/QWidget>

#include <cstdio>
#include <vector>

namespace {

struct Snapshot {
    int milliseconds;
    QString file;
};

bool ParseSnapshot(std::string_view entry, Snapshot& snapshot)
{
    const std::size_t colon = entry.find(':');
    if (colon == std::string_view::npos || colon + 1 >= entry.size()) return false;
    bool ok = false;
    const double seconds = QString::fromUtf8(entry.data(), static_cast<qsizetype>(colon)).toDouble(&ok);
    if (!ok || seconds < 0 || seconds > 3600) return false;
    snapshot.milliseconds = static_cast<int>(seconds * 1000);
    snapshot.file = QString::fromUtf8(entry.data() + colon + 1, static_cast<qsizetype>(entry.size() - colon - 1));
    return true;
}

void Save(QWidget* window, const QString& file)
{
    if (window == nullptr) return;
    if (!window->grab().save(file, "PNG"))
        std::fprintf(stderr, "norvik-demo: could not save %s\n", file.toLocal8Bit().constData());
}

}  // namespace

bool ScheduleSnapshots(QWidget& window, std::string_view plan, std::string& reason)
{
    std::vector<Snapshot> snapshots;
    while (!plan.empty()) {
        const std::size_t comma = plan.find(',');
        const std::string_view entry = plan.substr(0, comma);
        Snapshot snapshot;
        if (!ParseSnapshot(entry, snapshot)) {
            reason = std::string(kSnapshotVariable) + ": \"" + std::string(entry) + "\" is not SECONDS:FILE";
            return false;
        }
        snapshots.push_back(snapshot);
        plan = comma == std::string_view::npos ? std::string_view() : plan.substr(comma + 1);
    }
    int last = -1;
    for (const Snapshot& snapshot : snapshots) last = std::max(last, snapshot.milliseconds);
    const QPointer<QWidget> target(&window);
    for (const Snapshot& snapshot : snapshots)
        QTimer::singleShot(snapshot.milliseconds, &window, [target, file = snapshot.file] { Save(target, file); });
    // exit, not quit: quit asks the windows to close first, and the window refuses while the
    // program has not been told to terminate.
    if (last >= 0) QTimer::singleShot(last, &window, [] { QCoreApplication::exit(0); });
    return true;
}
