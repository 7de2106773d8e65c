#pragma once
// The steps of norvik-demo's entry: its messages on the terminal, and its window made over the
// virtual system with the restart shown, the chosen entry and the snapshots scheduled.

#include <memory>
#include <string_view>

#include "frontends/demo/DemoOptions.h"
#include "frontends/demo/DemoSystem.h"
#include "frontends/window/NorvikMain.h"
#include "payload/PackageLayout.h"

// Prints the reason and a hint to the standard error stream; returns the exit status 2.
int DemoUsageError(std::string_view reason);
// Prints --help with the settings of the demo's own package; returns 0.
int PrintDemoHelp();

// The window over the demo's system and package. A refused entry of the snapshot variable is
// told on the standard error stream and ignored.
std::unique_ptr<TNorvikMain> MakeDemoWindow(DemoSystem& system, const payload::PackageBlock& package,
                                            DemoMessageBoxes& boxes, const DemoOptions& options);
