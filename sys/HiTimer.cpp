#include "sys/HiTimer.h"

namespace sys {

HiTimer::HiTimer(platform::System& system) : system(system)
{
    // A frequency that is not positive would turn every reading into a division by zero: such
    // a counter is treated as missing.
    if (!system.QueryCounterFrequency(frequency) || frequency <= 0) {
        frequency = 0;
        unavailable = true;
        return;
    }
    // With the overhead still 0, one start and stop leave their own cost in the total.
    startCount = system.QueryCounter();
    EndInterval();
    overhead = accumulated;
    startCount = 0;
    lastCount = 0;
    accumulated = 0;
}

HiTimer::~HiTimer()
{
    if (!unavailable && IsRunning()) Stop();
}

void HiTimer::Start(bool reset)
{
    if (unavailable) return;
    if (reset) Reset();
    startCount = system.QueryCounter();
}

void HiTimer::Stop()
{
    // Ending an interval that never began would add the whole counter reading to the total.
    if (unavailable || !IsRunning()) return;
    EndInterval();
}

void HiTimer::EndInterval()
{
    lastCount = system.QueryCounter();
    accumulated += lastCount - startCount - overhead;
    startCount = 0;
}

void HiTimer::Reset()
{
    if (unavailable) return;
    if (IsRunning()) Stop();
    accumulated = 0;
}

double HiTimer::Elapsed()
{
    if (unavailable || !IsRunning()) return 0.0;
    lastCount = system.QueryCounter();
    return Seconds(lastCount - startCount - overhead);
}

double HiTimer::Total() const
{
    if (unavailable) return 0.0;
    return Seconds(accumulated);
}

double HiTimer::Seconds(int64_t ticks) const { return static_cast<double>(ticks) / static_cast<double>(frequency); }

}  // namespace sys
