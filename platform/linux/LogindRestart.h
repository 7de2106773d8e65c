#pragma once
// The system restart through systemd-logind over D-Bus. The header stays free of Qt, so that
// the seam's users do not see the toolkit.

#include <string>

namespace platform {

class LogindRestart {
public:
    // The system bus, where logind lives.
    LogindRestart() = default;
    // Another bus, given by its D-Bus address (tests run a private bus with a stand-in logind).
    explicit LogindRestart(std::string busAddress);

    // True when logind answers CanReboot with exactly "yes" (this process may restart the system)
    // or "challenge" (polkit will ask the person). "no", "na", an error or no logind at all
    // count as "may not".
    bool CanReboot() const;

    // Asks logind for an orderly reboot, letting polkit ask the person where it must. True when
    // logind accepted the call; a refused authorisation is no restart.
    bool Reboot() const;

private:
    std::string busAddress;  // empty: the system bus
};

}  // namespace platform
