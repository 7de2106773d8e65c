#pragma once
// The world around the demo's window: the virtual system with its drives, on the real clock,
// whose restart is recorded and shown instead of performed, and the message boxes with the
// user's hand behind them.

#include <functional>
#include <string>
#include <vector>

#include "frontends/window/MessageBoxes.h"
#include "sim/VirtualSystem.h"

class DemoSystem : public sim::VirtualSystem {
public:
    DemoSystem() : sim::VirtualSystem(sim::ClockMode::Real) {}

    // Adds the drives in their text form; false with the drive and the reason for a bad one.
    bool AddDrives(const std::vector<std::string>& drives, std::string& reason);

    // Told on the window thread when the update asks for the restart, after it was recorded.
    void OnRestart(std::function<void(uint32_t flags)> tell) { tellRestart = std::move(tell); }
    bool RequestRestart(uint32_t flags) override;

    // The user took the disc off every open tray that holds one. Trays are opened and closed
    // only by the window thread's disc and tray check, never by a worker's download, so reading
    // them here races with nothing.
    void TakeDiscsFromOpenTrays();

private:
    std::function<void(uint32_t)> tellRestart;
};

// Qt's standard boxes, and the user's hand: once a warning asking for the disc is acknowledged,
// the disc is gone from the open tray.
class DemoMessageBoxes : public StandardMessageBoxes {
public:
    explicit DemoMessageBoxes(DemoSystem& system) : system(system) {}

    MessageAnswer Ask(QWidget* owner, MessageKind kind, std::string_view title, std::string_view text,
                      MessageButtons buttons) override;

private:
    DemoSystem& system;
};
