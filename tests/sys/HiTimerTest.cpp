// The stopwatch on the virtual clock, where every counter reading costs exactly one step and
// AdvanceClock lets exact time pass, so readings can be checked to the tick.

#include <gtest/gtest.h>

#include <memory>

#include "sim/VirtualSystem.h"
#include "sys/HiTimer.h"

namespace {

using sim::ClockMode;
using sim::VirtualSystem;
using sys::HiTimer;

constexpr int64_t kStep = VirtualSystem::kCounterStepTicks;

class HiTimerVirtual : public ::testing::Test {
protected:
    VirtualSystem system{ClockMode::Virtual};
    HiTimer timer{system};

    // Counter readings taken by whatever runs between two readings of the test's own.
    template <typename Action>
    int64_t ReadingsDuring(Action action)
    {
        const int64_t before = system.QueryCounter();
        action();
        return (system.QueryCounter() - before) / kStep - 1;
    }
};

TEST_F(HiTimerVirtual, StartAndStopAtOnceTotalZero)
{
    // The calibrated cost of the pair is exactly one step of the virtual counter.
    timer.Start(true);
    timer.Stop();
    EXPECT_EQ(timer.Total(), 0.0);
}

TEST_F(HiTimerVirtual, IntervalIsMeasuredWithoutTheOverhead)
{
    timer.Start(true);
    system.AdvanceClock(2.5);
    timer.Stop();
    EXPECT_EQ(timer.Total(), 2.5);
}

TEST_F(HiTimerVirtual, ElapsedReadsTheRunningInterval)
{
    timer.Start(true);
    system.AdvanceClock(1.0);
    EXPECT_EQ(timer.Elapsed(), 1.0);
    system.AdvanceClock(0.5);
    // The first reading's own step counts as time that passed.
    EXPECT_DOUBLE_EQ(timer.Elapsed(), 1.5 + static_cast<double>(kStep) / VirtualSystem::kCounterFrequency);
}

TEST_F(HiTimerVirtual, ElapsedOnAStoppedTimerIsZeroWhateverTheTotal)
{
    timer.Start(true);
    system.AdvanceClock(3.0);
    timer.Stop();
    ASSERT_EQ(timer.Total(), 3.0);
    EXPECT_EQ(timer.Elapsed(), 0.0);
}

TEST_F(HiTimerVirtual, ElapsedLeavesOutTheCompletedIntervals)
{
    timer.Start(true);
    system.AdvanceClock(1.0);
    timer.Stop();
    timer.Start(false);
    system.AdvanceClock(0.5);
    EXPECT_EQ(timer.Elapsed(), 0.5);
}

TEST_F(HiTimerVirtual, TwoIntervalsAddUp)
{
    timer.Start(true);
    system.AdvanceClock(1.0);
    timer.Stop();
    system.AdvanceClock(10.0);  // between the intervals: not counted
    timer.Start(false);
    system.AdvanceClock(2.0);
    timer.Stop();
    EXPECT_EQ(timer.Total(), 3.0);
}

TEST_F(HiTimerVirtual, StartWithResetClearsTheTotal)
{
    timer.Start(true);
    system.AdvanceClock(4.0);
    timer.Stop();
    timer.Start(true);
    system.AdvanceClock(0.25);
    timer.Stop();
    EXPECT_EQ(timer.Total(), 0.25);
}

TEST_F(HiTimerVirtual, StartWithoutResetRestartsTheRunningInterval)
{
    timer.Start(true);
    system.AdvanceClock(5.0);
    timer.Start(false);
    system.AdvanceClock(1.0);
    timer.Stop();
    EXPECT_EQ(timer.Total(), 1.0);
}

TEST_F(HiTimerVirtual, ResetStopsARunningTimerAndClears)
{
    timer.Start(true);
    system.AdvanceClock(2.0);
    timer.Reset();
    EXPECT_EQ(timer.Total(), 0.0);
    EXPECT_EQ(timer.Elapsed(), 0.0);
}

TEST_F(HiTimerVirtual, StopOnAStoppedTimerChangesNothing)
{
    timer.Start(true);
    system.AdvanceClock(1.0);
    timer.Stop();
    system.AdvanceClock(7.0);
    timer.Stop();
    EXPECT_EQ(timer.Total(), 1.0);
}

TEST_F(HiTimerVirtual, ReadingsCostOneCounterQueryEach)
{
    EXPECT_EQ(ReadingsDuring([this] { timer.Start(true); }), 1);
    EXPECT_EQ(ReadingsDuring([this] { timer.Elapsed(); }), 1);
    EXPECT_EQ(ReadingsDuring([this] { timer.Stop(); }), 1);
    EXPECT_EQ(ReadingsDuring([this] { timer.Total(); }), 0);
    EXPECT_EQ(ReadingsDuring([this] { timer.Elapsed(); }), 0);
}

TEST_F(HiTimerVirtual, DestroyingARunningTimerStopsIt)
{
    auto running = std::make_unique<HiTimer>(system);
    running->Start(true);
    EXPECT_EQ(ReadingsDuring([&] { running.reset(); }), 1);
}

TEST_F(HiTimerVirtual, DestroyingAStoppedTimerReadsNothing)
{
    auto stopped = std::make_unique<HiTimer>(system);
    stopped->Start(true);
    stopped->Stop();
    EXPECT_EQ(ReadingsDuring([&] { stopped.reset(); }), 0);
}

TEST(HiTimerUnavailable, EveryReadingIsZeroAndNothingIsRead)
{
    VirtualSystem system{ClockMode::Virtual};
    system.SetCounterAvailable(false);
    HiTimer timer(system);
    // The counter comes back, but the timer decided when it was made.
    system.SetCounterAvailable(true);
    EXPECT_FALSE(timer.IsAvailable());

    const int64_t before = system.QueryCounter();
    timer.Start(true);
    system.AdvanceClock(2.0);
    EXPECT_EQ(timer.Elapsed(), 0.0);
    timer.Stop();
    EXPECT_EQ(timer.Total(), 0.0);
    timer.Start(false);
    timer.Reset();
    EXPECT_EQ(timer.Elapsed(), 0.0);
    EXPECT_EQ(timer.Total(), 0.0);
    // Only the test's own two readings and the two seconds passed: the timer read nothing.
    EXPECT_EQ(system.QueryCounter() - before, 2 * VirtualSystem::kCounterFrequency + kStep);
}

// A system that claims a counter but gives it no frequency.
class ZeroFrequencySystem : public VirtualSystem {
public:
    bool QueryCounterFrequency(int64_t& ticksPerSecond) override
    {
        ticksPerSecond = 0;
        return true;
    }
};

TEST(HiTimerUnavailable, CounterWithoutFrequencyCountsAsMissing)
{
    ZeroFrequencySystem system;
    HiTimer timer(system);
    EXPECT_FALSE(timer.IsAvailable());
    timer.Start(true);
    system.AdvanceClock(1.0);
    EXPECT_EQ(timer.Elapsed(), 0.0);
    timer.Stop();
    EXPECT_EQ(timer.Total(), 0.0);
}

TEST(HiTimerReal, StartAndStopAtOnceTotalCloseToZero)
{
    VirtualSystem system{ClockMode::Real};
    HiTimer timer(system);
    ASSERT_TRUE(timer.IsAvailable());
    timer.Start(true);
    timer.Stop();
    // The pair's cost is taken off; what is left is jitter (it may be slightly negative).
    EXPECT_NEAR(timer.Total(), 0.0, 1e-3);
}

TEST(HiTimerReal, MeasuresASleep)
{
    VirtualSystem system{ClockMode::Real};
    HiTimer timer(system);
    timer.Start(true);
    system.Sleep(30);
    timer.Stop();
    EXPECT_GE(timer.Total(), 0.029);
    EXPECT_LT(timer.Total(), 5.0);
}

}  // namespace
