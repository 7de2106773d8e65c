#include "sim/VirtualClock.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace sim {

namespace {

int64_t SteadyNanoseconds()
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
}

}  // namespace

int64_t VirtualClock::TicksOf(double seconds)
{
    if (!(seconds > 0.0)) return 0;
    return std::llround(std::min(seconds * kTicksPerSecond, 1e18));
}

VirtualClock::ThreadCounter& VirtualClock::EntryOfThisThread()
{
    const std::thread::id self = std::this_thread::get_id();
    for (int i = 0; i < counterCount; ++i) {
        if (counters[i].thread == self) return counters[i];
    }
    if (counterCount == kMaxThreads) return counters[kMaxThreads - 1];
    counters[counterCount] = {self, kStartTicks, 0};
    return counters[counterCount++];
}

int64_t VirtualClock::Read()
{
    if (clockMode == ClockMode::Real) return SteadyNanoseconds();
    std::lock_guard lock(mutex);
    int64_t& ticks = CounterOfThisThread();
    ticks += kStepTicks;
    return ticks;
}

int64_t VirtualClock::Now()
{
    if (clockMode == ClockMode::Real) return SteadyNanoseconds();
    std::lock_guard lock(mutex);
    return CounterOfThisThread();
}

void VirtualClock::Spend(double seconds)
{
    const int64_t ticks = TicksOf(seconds);
    if (ticks == 0) return;
    if (clockMode == ClockMode::Real) return SleepMakingUpLateness(ticks);
    std::lock_guard lock(mutex);
    CounterOfThisThread() += ticks;
}

// Sleeps ticks less what the thread's earlier sleeps overran, and keeps this sleep's overrun
// for the next one. The total never falls short of the durations asked for.
void VirtualClock::SleepMakingUpLateness(int64_t ticks)
{
    int64_t madeUp = 0;
    {
        std::lock_guard lock(mutex);
        madeUp = std::min(EntryOfThisThread().lateTicks, ticks);
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::nanoseconds(ticks - madeUp);
    // A sleep may end early (mingw's rounds down to whole milliseconds): sleep again until the end.
    while (std::chrono::steady_clock::now() < end) std::this_thread::sleep_until(end);
    const auto overran = std::chrono::steady_clock::now() - end;
    const int64_t overrun = std::max<int64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(overran).count(), 0);
    std::lock_guard lock(mutex);
    int64_t& late = EntryOfThisThread().lateTicks;
    late = std::min(late - madeUp + std::min(overrun, kMaxMadeUpTicks), kMaxMadeUpTicks);
}

void VirtualClock::GiveWay()
{
    if (clockMode == ClockMode::Real) std::this_thread::yield();
}

void VirtualClock::AdvanceTo(int64_t ticks)
{
    if (clockMode == ClockMode::Real) {
        for (int64_t left = ticks - SteadyNanoseconds(); left > 0; left = ticks - SteadyNanoseconds())
            std::this_thread::sleep_for(std::chrono::nanoseconds(left));
        return;
    }
    std::lock_guard lock(mutex);
    int64_t& counter = CounterOfThisThread();
    counter = std::max(counter, ticks);
}

}  // namespace sim
