#pragma once
// The clock of the virtual system. In real mode it is the monotonic clock and time passes by
// sleeping. In virtual mode every thread has its own counter: sleeps and modelled command
// durations advance the calling thread's counter at once, and every reading advances it by a
// small step so that a busy wait on the counter ends. Tests of minute-long limits thus take no
// real time, and threads that run side by side do not disturb each other's readings.

#include <array>
#include <cstdint>
#include <mutex>
#include <thread>

namespace sim {

enum class ClockMode { Real, Virtual };

class VirtualClock {
public:
    static constexpr int64_t kTicksPerSecond = 1'000'000'000;
    static constexpr int64_t kStepTicks = 10'000;          // 10 microseconds per reading
    static constexpr int64_t kStartTicks = kTicksPerSecond;  // a new thread's counter
    static constexpr int kMaxThreads = 64;  // further threads share the last counter

    explicit VirtualClock(ClockMode mode) : clockMode(mode) {}

    ClockMode mode() const { return clockMode; }

    // Ticks in a duration; zero for zero, negative and not-a-number durations.
    static int64_t TicksOf(double seconds);

    // The calling thread's counter; in virtual mode each reading advances it by kStepTicks.
    int64_t Read();
    // The calling thread's counter as it stands, without the step of a reading.
    int64_t Now();
    // Lets the given time pass for the calling thread: advances its counter (virtual), or
    // sleeps (real). Zero, negative and not-a-number durations pass no time.
    void Spend(double seconds);
    // Lets time pass for the calling thread until its counter shows at least ticks.
    void AdvanceTo(int64_t ticks);

private:
    struct ThreadCounter {
        std::thread::id thread;
        int64_t ticks;
    };
    int64_t& CounterOfThisThread();

    ClockMode clockMode;
    std::mutex mutex;
    std::array<ThreadCounter, kMaxThreads> counters{};
    int counterCount = 0;
};

}  // namespace sim
