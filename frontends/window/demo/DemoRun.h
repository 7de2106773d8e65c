#pragma once
// The steps of norvik-demo's entry: Qt's message boxes with the user's hand behind them, and the
// window made over the virtual system with the restart shown, the chosen entry and the
// snapshots scheduled.

#include <memory>

#include "frontends/demo/DemoMessageBoxes.h"
#include "frontends/demo/DemoOptions.h"
#include "frontends/demo/DemoSystem.h"
#include "frontends/window/MessageBoxes.h"
#include "frontends/window/NorvikMain.h"
#include "payload/PackageLayout.h"

// Qt's standard boxes with the user's hand behind them.
using DemoMessageBoxes = DemoBoxes<MessageBoxes, StandardMessageBoxes, QWidget*>;

// The window over the demo's system and package. A refused entry of the snapshot variable is
// told on the standard error stream and ignored.
std::unique_ptr<TNorvikMain> MakeDemoWindow(DemoSystem& system, const payload::PackageBlock& package,
                                            DemoMessageBoxes& boxes, const DemoOptions& options);
