// The shutdown inhibitor through logind, on a private bus with a stand-in logind: the lock is
// asked for as a blocking one on shutdown, sleep, the lid and the power keys, is held until released, and a system that
// cannot be asked leaves nothing held and says nothing.

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "PrivateBus.h"
#include "StandInLogind.h"
#include "platform/linux/LinuxSystem.h"

namespace {

using norvik_test::PrivateBus;
using norvik_test::StandInLogind;
using platform::LinuxSystem;

// Only a safety net: end of file arrives as soon as the last copy of the lock is closed.
constexpr int kEndOfLockWaitMs = 10000;

class LogindInhibitor : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(bus.Address().empty()) << "the private dbus-daemon did not start";
        logind = std::make_unique<StandInLogind>(bus.Address());
        ASSERT_TRUE(logind->IsServing()) << "the stand-in logind could not take its name";
        system = std::make_unique<LinuxSystem>(bus.Address());
    }

    PrivateBus bus;
    std::unique_ptr<StandInLogind> logind;
    std::unique_ptr<LinuxSystem> system;
};

TEST_F(LogindInhibitor, BlocksShutdownAndSleepUntilReleased)
{
    system->InhibitShutdown("Programming /dev/sr0, /dev/sr1");
    const auto calls = logind->InhibitCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].signature, QStringLiteral("ssss"));
    // The lid and the keys too: logind's default lets them suspend or power off the machine
    // despite a sleep or shutdown lock.
    EXPECT_EQ(calls[0].what,
              QStringLiteral(
                  "shutdown:sleep:handle-power-key:handle-suspend-key:handle-hibernate-key:handle-lid-switch"));
    EXPECT_EQ(calls[0].who, QStringLiteral("Norvik"));
    EXPECT_EQ(calls[0].why, QStringLiteral("Programming /dev/sr0, /dev/sr1"));
    EXPECT_EQ(calls[0].mode, QStringLiteral("block"));

    pollfd lock{logind->LockWatch(), POLLIN, 0};
    ASSERT_GE(lock.fd, 0);
    EXPECT_EQ(poll(&lock, 1, 0), 0) << "the lock ended before it was released";

    system->ReleaseShutdownInhibitor();
    ASSERT_EQ(poll(&lock, 1, kEndOfLockWaitMs), 1) << "the lock is still held after the release";
    char byte = 0;
    EXPECT_EQ(read(lock.fd, &byte, 1), 0);
    system->ReleaseShutdownInhibitor();
    EXPECT_EQ(logind->InhibitCalls().size(), 1u);
}

enum class Obstacle { Refusal, NoLogind, NoBus };

std::string ObstacleName(const ::testing::TestParamInfo<Obstacle>& info)
{
    const char* const names[] = {"Refusal", "NoLogind", "NoBus"};
    return names[static_cast<int>(info.param)];
}

void PrintTo(Obstacle obstacle, std::ostream* out)
{
    *out << ObstacleName(::testing::TestParamInfo<Obstacle>(obstacle, 0));
}

class LogindInhibitorObstacle : public LogindInhibitor, public ::testing::WithParamInterface<Obstacle> {};

TEST_P(LogindInhibitorObstacle, HoldsNothingAndSaysNothing)
{
    logind->SetInhibitFails(true);
    if (GetParam() != Obstacle::Refusal) logind.reset();
    if (GetParam() == Obstacle::NoBus) bus.Stop();

    ::testing::internal::CaptureStderr();
    ::testing::internal::CaptureStdout();
    system->InhibitShutdown("Programming /dev/sr0");
    system->ReleaseShutdownInhibitor();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    if (logind) {
        EXPECT_EQ(logind->InhibitCalls().size(), 1u);
        EXPECT_EQ(logind->LockWatch(), -1);
    }
}

INSTANTIATE_TEST_SUITE_P(Obstacles, LogindInhibitorObstacle,
                         ::testing::Values(Obstacle::Refusal, Obstacle::NoLogind, Obstacle::NoBus), ObstacleName);

}  // namespace
