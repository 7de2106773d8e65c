#include "frontends/window/demo/DemoSnapshots.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QPointer>
#include <QtCore/QTimer>
#include <QtGui/QPalette>
#include <QtGui/QPixmap>
#include <QtWidgets/QApplication>
#include <QtWidgets/QWidget>

#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// The colours of a common dark desktop theme: light text on dark grounds.
QPalette DarkPalette()
{
    const QColor ground(49, 54, 59);
    const QColor field(35, 38, 41);
    const QColor text(239, 240, 241);
    const QColor disabledText(110, 113, 116);
    QPalette palette;
    palette.setColor(QPalette::Window, ground);
    palette.setColor(QPalette::Button, ground);
    palette.setColor(QPalette::Base, field);
    palette.setColor(QPalette::AlternateBase, ground);
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
        palette.setColor(role, text);
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
        palette.setColor(QPalette::Disabled, role, disabledText);
    palette.setColor(QPalette::Highlight, QColor(61, 174, 233));
    palette.setColor(QPalette::HighlightedText, field);
    palette.setColor(QPalette::Light, QColor(71, 78, 85));
    palette.setColor(QPalette::Midlight, QColor(60, 66, 72));
    palette.setColor(QPalette::Mid, QColor(40, 44, 48));
    palette.setColor(QPalette::Dark, QColor(30, 33, 36));
    palette.setColor(QPalette::Shadow, QColor(20, 22, 24));
    return palette;
}

}  // namespace

bool ApplyDemoPalette(std::string& reason)
{
    const char* wanted = std::getenv(kPaletteVariable);
    if (wanted == nullptr || *wanted == '\0') return true;
    if (std::strcmp(wanted, "dark") != 0) {
        reason = std::string(kPaletteVariable) + ": \"" + wanted + "\" is not dark";
        return false;
    }
    QApplication::setPalette(DarkPalette());
    return true;
}

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
