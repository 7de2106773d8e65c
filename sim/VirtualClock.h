#pragma once
// The clock of the virtual system. In real mode it is the monotonic clock and time passes by
// sleeping. In virtual mode every thread has its own counter: sleeps and modelled command
// durations advance the calling thread's counter at once, and every reading advances it by a
// small step so that a busy wait on the counter ends. Tests of minute-long limits thus take no
// real time, and threads that run side by side do not disturb each other's readings.
//
// In real mode a sleep ends late by the system's timer slack and wake-up (some 50 to 150 µs);
// over thousands of millisecond commands that would make a drive slower than its model. So each
// thread's lateness, up to kMaxMadeUpTicks per sleep, is taken off its next sleep. A longer
// delay (the thread found no processor) is left standing, as a program would suffer it too.

#include <array>
#include <cstdint>
#include <mutex>
#include <thread>

namespace sim {

enum class ClockMode { Real, Virtual };

class VirtualClock {
public:
    static constexpr int64_t kTicksPerSecond = 1'000'000'000;
    static constexpr int64_t kStepTicks = 10'000;            // 10 microseconds per reading
    static constexpr int64_t kStartTicks = kTicksPerSecond;  // a new thread's counter
    static constexpr int kMaxThreads = 64;                   // further threads share the last counter
    static constexpr int64_t kMaxMadeUpTicks = 250'000;      // 250 µs

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
    // Real mode: lets other threads that are ready to run have the processor. Virtual mode:
    // nothing, as nothing else runs on the calling thread's clock.
    void GiveWay();

private:
    struct ThreadCounter {
        std::thread::id thread;
        int64_t ticks;      // virtual mode: the thread's counter
        int64_t lateTicks;  // real mode: lateness of its sleeps not yet made up
    };
    ThreadCounter& EntryOfThisThread();
    int64_t& CounterOfThisThread() { return EntryOfThisThread().ticks; }
    void SleepMakingUpLateness(int64_t ticks);

    ClockMode clockMode;
    std::mutex mutex;
    std::array<ThreadCounter, kMaxThreads> counters{};
    int counterCount = 0;
};

}  // namespace sim
