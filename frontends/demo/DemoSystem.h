#pragma once
// The world around the demo's window: the virtual system with its drives, on the real clock,
// whose restart is recorded and shown instead of performed, and the user's hand behind the
// message boxes. Plain C++: the Qt demo and the Windows demo share it.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/VirtualSystem.h"
#include "update/Translatable.h"

// The box the demo shows once the update has asked for the restart.
inline constexpr char kRestartTitle[] = "Restart requested";
inline constexpr char kRestartText[] =
    "The update has asked the system to restart (reboot, forced).\n\n"
    "This is the demo: the restart was recorded, not performed. The program now ends, as it does "
    "after asking for a real restart.";

class DemoSystem : public sim::VirtualSystem {
public:
    DemoSystem() : sim::VirtualSystem(sim::ClockMode::Real) {}

    // Adds the drives in their text form; false with the drive and the reason for a bad one.
    bool AddDrives(const std::vector<std::string>& drives, std::string& reason);

    // Told on the window thread when the update asks for the restart, after it was recorded.
    void OnRestart(std::function<void(uint32_t flags)> tell) { tellRestart = std::move(tell); }
    bool RequestRestart(uint32_t flags) override;

    // The user has answered a message box with this text: once a warning asking for the disc is
    // acknowledged, the disc is gone from the open tray.
    void MessageAnswered(std::string_view text);
    // The language the window shows the warnings in (null: English); must outlive the system.
    void SetTranslator(const TextTranslator* translator) { shownIn = translator; }

    // The user took the disc off every open tray that holds one. Trays are opened and closed
    // only by the window thread's disc and tray check, never by a worker's download, so reading
    // them here races with nothing.
    void TakeDiscsFromOpenTrays();

private:
    std::function<void(uint32_t)> tellRestart;
    const TextTranslator* shownIn = nullptr;
};
