// Completion events: manual reset, not signalled when made, waits bounded by their limit.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/linux/LinuxSystem.h"

namespace {

using platform::EventHandle;
using platform::LinuxSystem;
using Clock = std::chrono::steady_clock;

class LinuxEvent : public ::testing::Test {
protected:
    void SetUp() override
    {
        event = system.CreateEvent();
        ASSERT_NE(event, nullptr);
    }
    void TearDown() override { system.CloseEvent(event); }

    LinuxSystem system;
    EventHandle event = nullptr;
};

TEST_F(LinuxEvent, WaitOnAnUnsignalledEventTimesOut)
{
    const auto start = Clock::now();
    EXPECT_FALSE(system.WaitForEvent(event, 50));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(50));
}

TEST_F(LinuxEvent, EventSignalledBeforeTheWaitIsSeen)
{
    LinuxSystem::SignalEvent(event);
    EXPECT_TRUE(system.WaitForEvent(event, 0));
}

TEST_F(LinuxEvent, StaysSignalledUntilClosed)
{
    LinuxSystem::SignalEvent(event);
    EXPECT_TRUE(system.WaitForEvent(event, 10));
    EXPECT_TRUE(system.WaitForEvent(event, 10));
}

TEST_F(LinuxEvent, SignalFromAnotherThreadEndsTheWaitEarly)
{
    std::thread completer([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        LinuxSystem::SignalEvent(event);
    });
    const auto start = Clock::now();
    const bool signalled = system.WaitForEvent(event, 10000);
    const auto waited = Clock::now() - start;
    completer.join();

    EXPECT_TRUE(signalled);
    EXPECT_LT(waited, std::chrono::seconds(5));
}

TEST_F(LinuxEvent, EventsAreIndependent)
{
    const EventHandle other = system.CreateEvent();
    ASSERT_NE(other, nullptr);
    ASSERT_NE(other, event);
    LinuxSystem::SignalEvent(other);
    EXPECT_FALSE(system.WaitForEvent(event, 0));
    EXPECT_TRUE(system.WaitForEvent(other, 0));
    system.CloseEvent(other);
}

TEST(LinuxEventHandle, NullEventIsNeverSignalled)
{
    LinuxSystem system;
    EXPECT_FALSE(system.WaitForEvent(nullptr, 0));
    LinuxSystem::SignalEvent(nullptr);
    system.CloseEvent(nullptr);
    EXPECT_FALSE(system.WaitForEvent(nullptr, 0));
}

}  // namespace
