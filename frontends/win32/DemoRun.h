#pragma once
// The steps of norvik-demo.exe's entry: message boxes with the user's hand behind them, and the
// window made over the virtual system with the restart shown and the chosen entry chosen.

#include <windows.h>

#include <memory>
#include <string_view>

#include "frontends/demo/DemoOptions.h"
#include "frontends/demo/DemoSystem.h"
#include "frontends/win32/MessageBoxes.h"
#include "frontends/win32/NorvikMain.h"
#include "payload/PackageLayout.h"

// The boxes the user answers (the system's standard boxes unless others are given), and the
// user's hand: once a warning asking for the disc is acknowledged, the disc is gone from the open
// tray.
class DemoMessageBoxes : public MessageBoxes {
public:
    // answering: who answers the boxes (null: the system's standard boxes); it must outlive these.
    explicit DemoMessageBoxes(DemoSystem& system, MessageBoxes* answering = nullptr)
        : system(system), answering(answering != nullptr ? *answering : standardBoxes)
    {}

    MessageAnswer Ask(HWND owner, MessageKind kind, std::string_view title, std::string_view text,
                      MessageButtons buttons) override;

private:
    DemoSystem& system;
    StandardMessageBoxes standardBoxes;
    MessageBoxes& answering;
};

// The window over the demo's system and package, its boxes asked through boxes, the restart's
// among them. The chosen entry (options.chosenEntry) is chosen as the user would once the
// message loop runs.
std::unique_ptr<TNorvikMain> MakeDemoWindow(DemoSystem& system, const payload::PackageBlock& package,
                                            DemoMessageBoxes& boxes, const DemoOptions& options);
