#include "sim/VirtualClock.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace sim {

namespace {

int64_t SteadyNanoseconds() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
}

}  // namespace

int64_t VirtualClock::TicksOf(double seconds) {
    if (!(seconds > 0.0)) return 0;
    return std::llround(std::min(seconds * kTicksPerSecond, 1e18));
}

int64_t& VirtualClock::CounterOfThisThread() {
    const std::thread::id self = std::this_thread::get_id();
    for (int i = 0; i < counterCount; ++i) {
        if (counters[i].thread == self) return counters[i].ticks;
    }
    if (counterCount == kMaxThreads) return counters[kMaxThreads - 1].ticks;
    counters[counterCount] = {self, kStartTicks};
    return counters[counterCount++].ticks;
}

int64_t VirtualClock::Read() {
    if (clockMode == ClockMode::Real) return SteadyNanoseconds();
    std::lock_guard lock(mutex);
    int64_t& ticks = CounterOfThisThread();
    ticks += kStepTicks;
    return ticks;
}

int64_t VirtualClock::Now() {
    if (clockMode == ClockMode::Real) return SteadyNanoseconds();
    std::lock_guard lock(mutex);
    return CounterOfThisThread();
}

void VirtualClock::Spend(double seconds) {
    const int64_t ticks = TicksOf(seconds);
    if (ticks == 0) return;
    if (clockMode == ClockMode::Real) {
        std::this_thread::sleep_for(std::chrono::nanoseconds(ticks));
        return;
    }
    std::lock_guard lock(mutex);
    CounterOfThisThread() += ticks;
}

void VirtualClock::AdvanceTo(int64_t ticks) {
    if (clockMode == ClockMode::Real) {
        const int64_t left = ticks - SteadyNanoseconds();
        if (left > 0) std::this_thread::sleep_for(std::chrono::nanoseconds(left));
        return;
    }
    std::lock_guard lock(mutex);
    int64_t& counter = CounterOfThisThread();
    counter = std::max(counter, ticks);
}

}  // namespace sim
