#pragma once
// The steps of norvik-demo.exe's entry: message boxes with the user's hand behind them, and the
// window made over the virtual system with the restart shown and the chosen entry chosen.

#include <windows.h>

#include <memory>

#include "frontends/demo/DemoMessageBoxes.h"
#include "frontends/demo/DemoOptions.h"
#include "frontends/demo/DemoSystem.h"
#include "frontends/win32/MessageBoxes.h"
#include "frontends/win32/NorvikMain.h"
#include "payload/PackageLayout.h"

// The system's standard boxes (unless others are given) with the user's hand behind them.
using DemoMessageBoxes = DemoBoxes<MessageBoxes, StandardMessageBoxes, HWND>;

// The window over the demo's system and package, its boxes asked through boxes, the restart's
// among them. The chosen entry (options.chosenEntry) is chosen as the user would once the
// message loop runs.
std::unique_ptr<TNorvikMain> MakeDemoWindow(DemoSystem& system, const payload::PackageBlock& package,
                                            DemoMessageBoxes& boxes, const DemoOptions& options);
