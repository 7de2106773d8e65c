#include "sim/VirtualClock.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace sim {

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
    if (clockMode == ClockMode::Real) {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        return std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
    }
    std::lock_guard lock(mutex);
    int64_t& ticks = CounterOfThisThread();
    ticks += kStepTicks;
    return ticks;
}

void VirtualClock::Spend(double seconds) {
    if (!(seconds > 0.0)) return;
    const double ticks = std::min(seconds * kTicksPerSecond, 1e18);
    if (clockMode == ClockMode::Real) {
        std::this_thread::sleep_for(std::chrono::nanoseconds(std::llround(ticks)));
        return;
    }
    std::lock_guard lock(mutex);
    CounterOfThisThread() += std::llround(ticks);
}

}  // namespace sim
