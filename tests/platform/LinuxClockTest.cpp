// The Linux counter and sleep: nanoseconds of the monotonic clock, and sleeps that last their
// whole length even when a signal arrives in between.

#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/linux/LinuxSystem.h"

namespace {

using platform::LinuxSystem;
using Clock = std::chrono::steady_clock;

constexpr int64_t kTicksPerMillisecond = 1000000;

TEST(LinuxClock, FrequencyIsOneGigahertz)
{
    LinuxSystem system;
    int64_t frequency = 0;
    ASSERT_TRUE(system.QueryCounterFrequency(frequency));
    EXPECT_EQ(frequency, 1000000000);
}

TEST(LinuxClock, CounterNeverRunsBackwards)
{
    LinuxSystem system;
    int64_t previous = system.QueryCounter();
    EXPECT_GT(previous, 0);
    for (int i = 0; i < 10000; ++i) {
        const int64_t now = system.QueryCounter();
        ASSERT_GE(now, previous);
        previous = now;
    }
}

TEST(LinuxClock, CounterAgreesWithTheSteadyClock)
{
    LinuxSystem system;
    const auto wallStart = Clock::now();
    const int64_t counterStart = system.QueryCounter();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const int64_t counterTicks = system.QueryCounter() - counterStart;
    const auto wallTicks = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - wallStart).count();

    EXPECT_GE(counterTicks, 30 * kTicksPerMillisecond);
    // Both read the same kind of clock; they may differ only by the calls between the readings.
    EXPECT_NEAR(static_cast<double>(counterTicks), static_cast<double>(wallTicks), 5.0 * kTicksPerMillisecond);
}

TEST(LinuxClock, SleepLastsAtLeastItsLength)
{
    LinuxSystem system;
    const int64_t start = system.QueryCounter();
    system.Sleep(40);
    EXPECT_GE(system.QueryCounter() - start, 40 * kTicksPerMillisecond);
}

TEST(LinuxClock, SleepOfZeroReturnsAtOnce)
{
    LinuxSystem system;
    const int64_t start = system.QueryCounter();
    system.Sleep(0);
    EXPECT_LT(system.QueryCounter() - start, 50 * kTicksPerMillisecond);
}

std::atomic<int> signalsCaught{0};

void CountSignal(int) { signalsCaught.fetch_add(1); }

TEST(LinuxClock, SleepResumesAfterASignal)
{
    // A handler without SA_RESTART makes nanosleep return early with EINTR.
    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = CountSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
    signalsCaught = 0;

    LinuxSystem system;
    const pthread_t sleeper = pthread_self();
    std::thread interrupter([sleeper] {
        for (int i = 0; i < 3; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
            pthread_kill(sleeper, SIGUSR1);
        }
    });
    const int64_t start = system.QueryCounter();
    system.Sleep(150);
    const int64_t slept = system.QueryCounter() - start;
    interrupter.join();
    sigaction(SIGUSR1, &previous, nullptr);

    EXPECT_GE(signalsCaught.load(), 1);
    EXPECT_GE(slept, 150 * kTicksPerMillisecond);
}

}  // namespace
