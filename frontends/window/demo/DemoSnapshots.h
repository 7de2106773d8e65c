#pragma once
// Pictures of the demo's window for the documentation, asked for through the environment:
// NORVIK_DEMO_SNAPSHOTS=SECONDS:FILE[,SECONDS:FILE]... saves a PNG of the window at each time
// after the event loop has started; after the last one the event loop ends.
// NORVIK_DEMO_PALETTE=dark shows the window in a dark palette, as under a dark desktop theme.

#include <string>
#include <string_view>

class QWidget;

inline constexpr char kSnapshotVariable[] = "NORVIK_DEMO_SNAPSHOTS";
inline constexpr char kPaletteVariable[] = "NORVIK_DEMO_PALETTE";
// The end of --help that tells of the variable.
inline constexpr char kSnapshotHelp[] =
    "\n"
    "Environment:\n"
    "NORVIK_DEMO_SNAPSHOTS=SECONDS:FILE[,SECONDS:FILE]...\n"
    "        save a PNG picture of the window at these times after the window is\n"
    "        up; the demo ends after the last one (scripts/screenshots uses this).\n";

// The palette that NORVIK_DEMO_PALETTE asks for, given to the application before the window is
// made; the system's own when the variable is unset. False with the reason for an unknown one.
bool ApplyDemoPalette(std::string& reason);

// Schedules the pictures of plan; false with the reason for a malformed entry (nothing is then
// scheduled). An empty plan schedules nothing.
bool ScheduleSnapshots(QWidget& window, std::string_view plan, std::string& reason);
