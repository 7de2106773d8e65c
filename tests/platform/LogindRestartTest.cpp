// The restart through logind, on a private bus with a stand-in logind: the privilege step
// counts "yes" and "challenge" (polkit asks the person), the reboot is asked for once and
// interactively, and every failure on the way reads as "not restarted".

#include <gtest/gtest.h>

#include <memory>

#include "PrivateBus.h"
#include "StandInLogind.h"
#include "platform/linux/LinuxSystem.h"

namespace {

using norvik_test::PrivateBus;
using norvik_test::StandInLogind;
using platform::LinuxSystem;

class LogindRestart : public ::testing::Test {
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

class LogindRestartGrant : public LogindRestart, public ::testing::WithParamInterface<const char*> {};

TEST_P(LogindRestartGrant, YesOrAChallengeGrantsThePrivilege)
{
    logind->SetCanRebootAnswer(QString::fromLatin1(GetParam()));
    EXPECT_TRUE(system->EnableShutdownPrivilege());
    EXPECT_EQ(logind->CanRebootCalls(), 1);
    EXPECT_TRUE(logind->RebootCalls().empty());
}

INSTANTIATE_TEST_SUITE_P(Answers, LogindRestartGrant, ::testing::Values("yes", "challenge"));

class LogindRestartRefusal : public LogindRestart, public ::testing::WithParamInterface<const char*> {};

TEST_P(LogindRestartRefusal, AnyOtherAnswerWithholdsThePrivilege)
{
    logind->SetCanRebootAnswer(QString::fromLatin1(GetParam()));
    EXPECT_FALSE(system->EnableShutdownPrivilege());
    EXPECT_EQ(logind->CanRebootCalls(), 1);
    EXPECT_TRUE(logind->RebootCalls().empty());
}

INSTANTIATE_TEST_SUITE_P(Answers, LogindRestartRefusal, ::testing::Values("no", "na", "", "Yes", "yes ", "challenge "));

TEST_F(LogindRestart, AnswerThatIsNotATextWithholdsThePrivilege)
{
    // Bytes that spell "yes" are still not the text that CanReboot answers with.
    logind->SetCanRebootAnswer(QVariant(QByteArray("yes")));
    EXPECT_FALSE(system->EnableShutdownPrivilege());
    EXPECT_EQ(logind->CanRebootCalls(), 1);
}

TEST_F(LogindRestart, RebootIsRequestedOnceAndInteractively)
{
    EXPECT_TRUE(system->RequestRestart(6));
    const auto calls = logind->RebootCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].signature, QStringLiteral("b"));
    EXPECT_TRUE(calls[0].interactive);
}

TEST_F(LogindRestart, RebootWithoutForceIsRequestedToo)
{
    EXPECT_TRUE(system->RequestRestart(2));
    EXPECT_EQ(logind->RebootCalls().size(), 1u);
}

TEST_F(LogindRestart, FlagsWithoutRebootRequestNothing)
{
    EXPECT_FALSE(system->RequestRestart(0));
    EXPECT_FALSE(system->RequestRestart(4));
    EXPECT_FALSE(system->RequestRestart(1));
    EXPECT_TRUE(logind->RebootCalls().empty());
}

TEST_F(LogindRestart, RefusedRebootIsReportedAsNotRestarted)
{
    logind->SetRebootFails(true);
    EXPECT_FALSE(system->RequestRestart(6));
    EXPECT_EQ(logind->RebootCalls().size(), 1u);
}

TEST_F(LogindRestart, PrivilegeThenRebootAsTheRestartAsksThem)
{
    ASSERT_TRUE(system->EnableShutdownPrivilege());
    EXPECT_TRUE(system->RequestRestart(6));
    EXPECT_EQ(logind->CanRebootCalls(), 1);
    EXPECT_EQ(logind->RebootCalls().size(), 1u);
}

TEST_F(LogindRestart, NoLogindOnTheBusMeansNoRestart)
{
    logind.reset();
    EXPECT_FALSE(system->EnableShutdownPrivilege());
    EXPECT_FALSE(system->RequestRestart(6));
}

TEST_F(LogindRestart, BusThatWentAwayMeansNoRestart)
{
    logind.reset();
    bus.Stop();
    EXPECT_FALSE(system->EnableShutdownPrivilege());
    EXPECT_FALSE(system->RequestRestart(6));
}

}  // namespace
