#pragma once
// Raised by drive operations while a device object's raise-on-error flag is set. The code is
// the sense key (1..15), or one of the codes below.

#include <cstdint>
#include <exception>

class ErrCodeException : public std::exception {
public:
    static constexpr uint8_t kWaitTimedOut = 2;     // a wait until ready ran out
    static constexpr uint8_t kDownloadFailed = 42;  // the firmware download failed
    static constexpr uint8_t kNotCarriedOut = 242;  // refused, or the request failed twice
    static constexpr uint8_t kTimedOut = 250;       // the command took longer than the time-out

    explicit ErrCodeException(uint8_t code) : code(code) {}
    uint8_t Code() const { return code; }
    const char* what() const noexcept override { return "drive command failed"; }

private:
    uint8_t code;
};
