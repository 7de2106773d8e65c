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

    // True only when logind answers CanReboot with exactly "yes": this process may restart the
    // system without asking anyone. "challenge" (authentication needed), "no", "na", an error
    // or no logind at all count as "may not".
    bool CanReboot() const;

    // Asks logind for an orderly reboot without an authentication dialogue. True when logind
    // accepted the call.
    bool Reboot() const;

private:
    std::string busAddress;  // empty: the system bus
};

}  // namespace platform
