// Execute requests that the virtual ASPI manager keeps pending: a completion that comes after
// the program's wait ran out, requests held until the test finishes them, and the abort.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "AspiHost.h"
#include "sim/VirtualSystem.h"

namespace {

using namespace platform;
using sim::AspiSettings;
using sim::VirtualSystem;
using simtest::AbortOf;
using simtest::Manager;
using simtest::NotifyingTestUnitReady;
using simtest::StatusOf;

constexpr int64_t kStep = VirtualSystem::kCounterStepTicks;
constexpr int64_t kSecond = VirtualSystem::kCounterFrequency;

AspiSettings Later() { return simtest::WorkingManager(true); }

AspiSettings Held()
{
    AspiSettings settings = simtest::WorkingManager();
    settings.holdUntilReleased = true;
    return settings;
}

// A virtual system with one drive (text form) and the manager set up, loaded and an event made.
class PendingRequests : public ::testing::Test {
protected:
    void Start(const char* drive, const AspiSettings& settings, sim::ClockMode mode = sim::ClockMode::Virtual)
    {
        system = std::make_unique<VirtualSystem>(mode);
        std::string reason;
        ASSERT_NE(system->AddDrive(drive, reason), nullptr) << reason;
        system->SetAspiManager(settings);
        manager = std::make_unique<Manager>(*system);
        event = system->CreateEvent();
        ASSERT_NE(event, nullptr);
    }

    // A wait that ends at once: whether the event is signalled now, no time passing.
    bool Signalled()
    {
        const int64_t before = system->QueryCounter();
        const bool signalled = system->WaitForEvent(event, 0);
        EXPECT_EQ(system->QueryCounter() - before, kStep);
        return signalled;
    }

    void TearDown() override
    {
        manager.reset();
        if (system != nullptr) system->CloseEvent(event);
    }

    std::unique_ptr<VirtualSystem> system;
    std::unique_ptr<Manager> manager;
    EventHandle event = nullptr;
};

bool SenseAreaIsZero(const SRB_ExecSCSICmd& request)
{
    const uint8_t zeros[sizeof request.SenseArea] = {};
    return std::memcmp(request.SenseArea, zeros, sizeof zeros) == 0;
}

// --- A completion later than the wait -----------------------------------------------------------

TEST_F(PendingRequests, WaitShorterThanTheCommandRunsOutAndTheRequestStaysPending)
{
    Start("disc=1,fault=00#1:slow:200", Later());
    SRB_ExecSCSICmd request = NotifyingTestUnitReady(event);
    const int64_t start = system->QueryCounter();
    ASSERT_EQ(manager->Send(&request), SS_PENDING);
    EXPECT_EQ(system->QueryCounter() - start, kStep) << "sending takes no time";

    const int64_t beforeWait = system->QueryCounter();
    EXPECT_FALSE(system->WaitForEvent(event, 108000));
    EXPECT_EQ(system->QueryCounter() - beforeWait, 108 * kSecond + kStep);
    EXPECT_EQ(StatusOf(request), SS_PENDING);
    EXPECT_EQ(system->pendingAspiCount(), 1);

    // The second wait ends when the command's 200 seconds are reached, not at its limit.
    const int64_t beforeSecond = system->QueryCounter();
    EXPECT_TRUE(system->WaitForEvent(event, 108000));
    const int64_t end = system->QueryCounter();
    EXPECT_EQ(end - start, 200 * kSecond + kStep);  // due 200 s after the send, then one reading
    EXPECT_LT(end - beforeSecond, 108 * kSecond);
    EXPECT_EQ(StatusOf(request), SS_COMP);
    EXPECT_EQ(system->pendingAspiCount(), 0);
}

TEST_F(PendingRequests, CompletionComesWithTheSendersSleepOrCounterReading)
{
    Start("disc=1,fault=00#1:slow:5", Later());
    SRB_ExecSCSICmd slow = NotifyingTestUnitReady(event);
    ASSERT_EQ(manager->Send(&slow), SS_PENDING);
    system->Sleep(4999);
    EXPECT_EQ(StatusOf(slow), SS_PENDING);
    EXPECT_FALSE(Signalled());
    system->Sleep(1);
    EXPECT_EQ(StatusOf(slow), SS_COMP);
    EXPECT_TRUE(Signalled());

    // An instant command is due at once: the next reading of the counter delivers it.
    SRB_ExecSCSICmd instant = simtest::ExecRequest(0, 0, {0x00}, 0, nullptr, 0);
    ASSERT_EQ(manager->Send(&instant), SS_PENDING);
    EXPECT_EQ(StatusOf(instant), SS_PENDING);
    system->QueryCounter();
    EXPECT_EQ(StatusOf(instant), SS_COMP);
}

TEST_F(PendingRequests, AnotherThreadsTimeDoesNotBringTheRequestDue)
{
    Start("disc=1,fault=00#1:slow:5", Later());
    SRB_ExecSCSICmd request = NotifyingTestUnitReady(event);
    ASSERT_EQ(manager->Send(&request), SS_PENDING);
    bool otherSawIt = true;
    std::thread other([&] {
        system->Sleep(1000000);
        otherSawIt = system->WaitForEvent(event, 60000);
    });
    other.join();
    EXPECT_FALSE(otherSawIt);
    EXPECT_EQ(StatusOf(request), SS_PENDING);
    EXPECT_TRUE(system->WaitForEvent(event, 5000));
    EXPECT_EQ(StatusOf(request), SS_COMP);
}

TEST_F(PendingRequests, WaitEndsAtTheEarliestOfSeveralCompletions)
{
    Start("disc=1,fault=00#1:slow:30,fault=00#2:slow:10", Later());
    SRB_ExecSCSICmd first = NotifyingTestUnitReady(event);
    SRB_ExecSCSICmd second = NotifyingTestUnitReady(event);
    ASSERT_EQ(manager->Send(&first), SS_PENDING);
    ASSERT_EQ(manager->Send(&second), SS_PENDING);
    const int64_t before = system->QueryCounter();
    EXPECT_TRUE(system->WaitForEvent(event, 108000));
    EXPECT_EQ(system->QueryCounter() - before, 10 * kSecond);  // 10 s after the sends
    EXPECT_EQ(StatusOf(second), SS_COMP);
    EXPECT_EQ(StatusOf(first), SS_PENDING);
    system->Sleep(20000);
    EXPECT_EQ(StatusOf(first), SS_COMP);
}

TEST_F(PendingRequests, FinishingOutstandingWorkCompletesEveryRequestNow)
{
    Start("disc=0,fault=00#1:slow:200", Later());
    SRB_ExecSCSICmd request = NotifyingTestUnitReady(event);
    ASSERT_EQ(manager->Send(&request), SS_PENDING);
    const int64_t before = system->QueryCounter();
    EXPECT_EQ(system->FinishPendingAspiRequests(), 1);
    EXPECT_EQ(system->QueryCounter() - before, kStep) << "no time passes";
    EXPECT_EQ(StatusOf(request), SS_ERR);  // the drive's own answer: no disc
    EXPECT_EQ(request.SenseArea[12], 0x3A);
    EXPECT_TRUE(Signalled());
    EXPECT_EQ(system->FinishPendingAspiRequests(), 0);
}

// --- Held requests -----------------------------------------------------------------------------

TEST_F(PendingRequests, HeldRequestNeverCompletesUntilFinished)
{
    Start("disc=1", Held());
    uint8_t data[96] = {};
    SRB_ExecSCSICmd request = simtest::ExecRequest(0, 0, {0x12, 0, 0, 0, 96}, SRB_DIR_IN | SRB_EVENT_NOTIFY, data, 96);
    request.SRB_PostProc = event;
    ASSERT_EQ(manager->Send(&request), SS_PENDING);

    const int64_t before = system->QueryCounter();
    EXPECT_FALSE(system->WaitForEvent(event, 108000));
    EXPECT_EQ(system->QueryCounter() - before, 108 * kSecond + kStep);
    system->Sleep(3600000);
    system->AdvanceClock(1e6);
    EXPECT_EQ(StatusOf(request), SS_PENDING);
    EXPECT_EQ(system->pendingAspiCount(), 1);

    EXPECT_EQ(system->FinishPendingAspiRequests(), 1);
    EXPECT_EQ(StatusOf(request), SS_COMP);
    EXPECT_TRUE(Signalled());
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data + 8), 8), "TALVORE ");
}

TEST_F(PendingRequests, HeldRequestReleasedFromAnotherThreadWakesARealWait)
{
    Start("disc=1", Held(), sim::ClockMode::Real);
    SRB_ExecSCSICmd request = NotifyingTestUnitReady(event);
    ASSERT_EQ(manager->Send(&request), SS_PENDING);
    EXPECT_FALSE(system->WaitForEvent(event, 20));  // not by itself
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        system->FinishPendingAspiRequests();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(system->WaitForEvent(event, 60000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    releaser.join();
    EXPECT_EQ(StatusOf(request), SS_COMP);
}

// --- Abort -------------------------------------------------------------------------------------

TEST_F(PendingRequests, AbortEndsAPendingRequestAtOnceWithoutSense)
{
    Start("disc=0,fault=00#1:slow:200", Later());  // its own answer would carry sense
    SRB_ExecSCSICmd request = NotifyingTestUnitReady(event);
    ASSERT_EQ(manager->Send(&request), SS_PENDING);
    EXPECT_FALSE(system->WaitForEvent(event, 108000));

    SRB_Abort abort = AbortOf(&request);
    const int64_t before = system->QueryCounter();
    EXPECT_EQ(manager->Send(&abort), SS_COMP);
    EXPECT_EQ(system->QueryCounter() - before, kStep) << "no time passes";
    EXPECT_EQ(abort.SRB_Status, SS_COMP);
    EXPECT_EQ(StatusOf(request), SS_ABORTED);
    EXPECT_TRUE(SenseAreaIsZero(request));
    EXPECT_EQ(request.SRB_TargStat, 0);
    EXPECT_TRUE(Signalled());
    EXPECT_EQ(system->pendingAspiCount(), 0);
    EXPECT_EQ(system->aspiAbortCount(), 1u);

    system->Sleep(200000);  // its modelled time comes and goes: nothing more is written
    EXPECT_EQ(StatusOf(request), SS_ABORTED);
    EXPECT_TRUE(SenseAreaIsZero(request));
}

TEST_F(PendingRequests, AbortEndsAHeldRequest)
{
    Start("disc=1", Held());
    SRB_ExecSCSICmd request = NotifyingTestUnitReady(event);
    ASSERT_EQ(manager->Send(&request), SS_PENDING);
    SRB_Abort abort = AbortOf(&request);
    EXPECT_EQ(manager->Send(&abort), SS_COMP);
    EXPECT_EQ(StatusOf(request), SS_ABORTED);
    EXPECT_TRUE(Signalled());
    EXPECT_EQ(system->FinishPendingAspiRequests(), 0);
}

TEST_F(PendingRequests, AbortOfARequestNotPendingAnswersCompleteAndTouchesNothing)
{
    Start("disc=0,fault=00#2:slow:200", Later());
    SRB_ExecSCSICmd finished = simtest::ExecRequest(0, 0, {0x00}, 0, nullptr, 0);
    ASSERT_EQ(manager->Send(&finished), SS_PENDING);
    system->QueryCounter();
    ASSERT_EQ(StatusOf(finished), SS_ERR);  // ended first, with sense 2/3A/01
    SRB_ExecSCSICmd pending = NotifyingTestUnitReady(event);
    ASSERT_EQ(manager->Send(&pending), SS_PENDING);

    const SRB_ExecSCSICmd finishedBefore = finished;
    SRB_ExecSCSICmd neverSent = simtest::ExecRequest(0, 0, {0x00}, 0, nullptr, 0);
    for (const void* target : {static_cast<const void*>(&finished), static_cast<const void*>(&neverSent)}) {
        SRB_Abort abort = AbortOf(target);
        EXPECT_EQ(manager->Send(&abort), SS_COMP);
        EXPECT_EQ(abort.SRB_Status, SS_COMP);
    }
    EXPECT_EQ(0, std::memcmp(&finished, &finishedBefore, sizeof finished));
    EXPECT_EQ(StatusOf(neverSent), SS_PENDING);  // as it was made: zero
    EXPECT_EQ(StatusOf(pending), SS_PENDING);
    EXPECT_EQ(system->pendingAspiCount(), 1);
    EXPECT_FALSE(Signalled());

    // Requests of an abort that names nothing or an adapter that does not answer.
    SRB_Abort nothing = AbortOf(nullptr);
    EXPECT_EQ(manager->Send(&nothing), sim::kAspiInvalidRequest);
    EXPECT_EQ(nothing.SRB_Status, sim::kAspiInvalidRequest);
    SRB_Abort wrongAdapter = AbortOf(&pending, 7);
    EXPECT_EQ(manager->Send(&wrongAdapter), sim::kAspiInvalidHostAdapter);
    EXPECT_EQ(wrongAdapter.SRB_Status, sim::kAspiInvalidHostAdapter);
    EXPECT_EQ(StatusOf(pending), SS_PENDING);
    EXPECT_EQ(system->pendingAspiCount(), 1);
    EXPECT_EQ(system->aspiAbortCount(), 4u);
}

TEST_F(PendingRequests, IgnoredAbortLetsTheRequestEndAtItsOwnTime)
{
    AspiSettings settings = Later();
    settings.honourAborts = false;
    Start("disc=1,fault=00#1:slow:108.03", settings);
    SRB_ExecSCSICmd request = NotifyingTestUnitReady(event);
    ASSERT_EQ(manager->Send(&request), SS_PENDING);
    EXPECT_FALSE(system->WaitForEvent(event, 108000));
    SRB_Abort abort = AbortOf(&request);
    EXPECT_EQ(manager->Send(&abort), SS_COMP);
    EXPECT_EQ(StatusOf(request), SS_PENDING);
    int sleeps = 0;
    while (StatusOf(request) == SS_PENDING && sleeps < 10) {
        system->Sleep(10);
        ++sleeps;
    }
    EXPECT_EQ(sleeps, 3);
    EXPECT_EQ(StatusOf(request), SS_COMP);
}

TEST_F(PendingRequests, AbortWakesARealWait)
{
    Start("disc=1,fault=00#1:slow:100", Later(), sim::ClockMode::Real);
    SRB_ExecSCSICmd request = NotifyingTestUnitReady(event);
    ASSERT_EQ(manager->Send(&request), SS_PENDING);
    std::thread aborter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        SRB_Abort abort = AbortOf(&request);
        manager->Send(&abort);
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(system->WaitForEvent(event, 60000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    aborter.join();
    EXPECT_EQ(StatusOf(request), SS_ABORTED);
    EXPECT_EQ(system->pendingAspiCount(), 0);
}

// Aborts sent while the completion thread may be finishing the same request: every request ends
// exactly once, with its own status or SS_ABORTED, and its event signalled.
TEST(VirtualAspiAbortRace, EveryRequestEndsOnceWhicheverComesFirst)
{
    VirtualSystem system(sim::ClockMode::Real);
    std::string reason;
    ASSERT_NE(system.AddDrive("disc=1,fault=#1+:slow:0.0002", reason), nullptr) << reason;
    system.SetAspiManager(Later());
    Manager manager(system);
    constexpr int kRequests = 200;
    int completed = 0;
    int aborted = 0;
    for (int i = 0; i < kRequests; ++i) {
        EventHandle event = system.CreateEvent();
        ASSERT_NE(event, nullptr);
        SRB_ExecSCSICmd request = NotifyingTestUnitReady(event);
        ASSERT_EQ(manager.Send(&request), SS_PENDING);
        std::this_thread::sleep_for(std::chrono::microseconds(50 * (i % 8)));
        SRB_Abort abort = AbortOf(&request);
        EXPECT_EQ(manager.Send(&abort), SS_COMP);
        ASSERT_TRUE(system.WaitForEvent(event, 10000)) << "request " << i;
        const uint8_t status = StatusOf(request);
        completed += status == SS_COMP ? 1 : 0;
        aborted += status == SS_ABORTED ? 1 : 0;
        if (status == SS_ABORTED) {
            EXPECT_TRUE(SenseAreaIsZero(request));
        }
        system.CloseEvent(event);
    }
    EXPECT_EQ(completed + aborted, kRequests);
    EXPECT_EQ(system.pendingAspiCount(), 0);
}

}  // namespace
