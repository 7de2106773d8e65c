#pragma once
// A stopwatch on the system's high-resolution counter. It adds completed intervals up, takes
// off the measured cost of its own start and stop, and reads in seconds.

#include <cstdint>

#include "platform/System.h"

namespace sys {

class HiTimer {
public:
    // Reads the counter frequency and measures what one start and stop cost (the overhead).
    explicit HiTimer(platform::System& system);
    // A running timer is stopped.
    ~HiTimer();

    HiTimer(const HiTimer&) = delete;
    HiTimer& operator=(const HiTimer&) = delete;

    // Starts an interval, after clearing the total when reset is true. On a running timer the
    // interval already run is dropped and a new one begins.
    void Start(bool reset);
    // Ends the running interval and adds it, less the overhead, to the total. Nothing happens
    // on a stopped timer.
    void Stop();
    // Stops a running timer and clears the total.
    void Reset();

    // Seconds of the running interval so far, less the overhead; 0.0 on a stopped timer.
    double Elapsed();
    // Seconds of all completed intervals since the last reset.
    double Total() const;

    // False when the system has no high-resolution counter: every reading is then 0.0.
    bool IsAvailable() const { return !unavailable; }

private:
    bool IsRunning() const { return startCount != 0; }
    // The stop itself, also used while calibrating, when startCount may legitimately be 0.
    void EndInterval();
    double Seconds(int64_t ticks) const;

    int64_t frequency = 0;    // counter ticks per second
    int64_t startCount = 0;   // counter at the last start; 0 while stopped
    int64_t lastCount = 0;    // counter at the last stop or elapsed-time reading
    int64_t accumulated = 0;  // ticks of the completed intervals, each less the overhead
    int64_t overhead = 0;     // ticks that a start followed at once by a stop costs
    bool unavailable = false;
    platform::System& system;
};

}  // namespace sys
