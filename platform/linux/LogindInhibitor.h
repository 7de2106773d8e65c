#pragma once
// The lock that keeps the system from shutting down or sleeping, taken from systemd-logind over
// D-Bus, with the lid switch and the power, suspend and hibernate keys. logind holds them off for
// as long as the descriptor it hands out stays open, so the lock is that descriptor. The header
// stays free of Qt, as the restart's does.

#include <string>

namespace platform {

class LogindInhibitor {
public:
    // The system bus, where logind lives.
    LogindInhibitor() = default;
    // Another bus, given by its D-Bus address (tests run a private bus with a stand-in logind).
    explicit LogindInhibitor(std::string busAddress);
    ~LogindInhibitor();

    LogindInhibitor(const LogindInhibitor&) = delete;
    LogindInhibitor& operator=(const LogindInhibitor&) = delete;

    // Asks logind to block shutdown and sleep, naming why. No bus, no logind or a refusal leave
    // nothing held and are no error: the programming goes on unprotected. While a lock is held,
    // a second request keeps it.
    void Inhibit(const char* why);
    // Lets the system shut down and sleep again; without a lock, does nothing.
    void Release();

private:
    std::string busAddress;  // empty: the system bus
    int lockDescriptor = -1;
};

}  // namespace platform
