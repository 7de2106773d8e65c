// The update worker: the result it leaves in the device object for every way a download can
// end, and its life on a thread whose end is handled on the sequence's thread while it waits.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "device/AtapiDevice.h"
#include "device/ErrCodeException.h"
#include "sim/VirtualSystem.h"
#include "tests/flash/DownloadTrace.h"
#include "update/Parser.h"
#include "update/QueuedWorkerThreads.h"

namespace {

using downloadtest::kImageSize;
using downloadtest::MakeImage;
using sim::Fault;
using sim::FaultKind;
using sim::FaultTrigger;
using sim::FlashState;

// A system layer that throws from the middle of the download when told to: an exception of
// another kind than ErrCodeException, as a failing allocation or a broken system call would.
class ThrowingSystem : public sim::VirtualSystem {
public:
    enum class Throw { Nothing, StandardException, Unknown };

    bool SendPassThrough(platform::DriveHandle handle, platform::PassThroughRequest& request) override
    {
        if (request.cdb[0] == 0x3C && throwOnRead == Throw::StandardException) throw std::runtime_error("system call");
        if (request.cdb[0] == 0x3C && throwOnRead == Throw::Unknown) throw 7;
        return VirtualSystem::SendPassThrough(handle, request);
    }

    Throw throwOnRead = Throw::Nothing;
};

// The thread that ran the download, and whether it has ended.
std::atomic<std::thread::id> pumpThread{};
std::atomic<bool> pumpThreadEnded{false};
struct ThreadEndFlag {
    ~ThreadEndFlag() { pumpThreadEnded.store(true); }
};
void RecordPumpThread()
{
    pumpThread.store(std::this_thread::get_id());
    thread_local ThreadEndFlag flag;
    (void)flag;
}

class Worker : public ::testing::Test {
protected:
    void TearDown() override { AtapiDevice::SetMessagePump(nullptr); }

    // Adds drives with a chip that has a profile; one device object per drive, each with its
    // drive selected.
    void Open(int drives = 1)
    {
        for (int i = 0; i < drives; ++i) {
            sim::DriveConfig config;
            const uint8_t chip[4] = {0xBF, 0xD6, 0x00, 0x02};
            std::memcpy(config.flashId, chip, sizeof chip);
            ASSERT_NE(system.AddDrive(sim::DriveSetup{config}), nullptr);
        }
        for (int i = 0; i < drives; ++i) {
            devices.push_back(std::make_unique<AtapiDevice>(system));
            ASSERT_TRUE(devices.back()->SelectDrive(int16_t(i)));
        }
    }

    // Every command with this opcode, from its number-th since the drive was made (the scan
    // sends no WRITE or READ BUFFER), fails in the given way.
    void Fail(uint8_t opcode, FaultKind kind, uint8_t senseKey = 3, uint32_t number = 1)
    {
        Fault fault;
        fault.kind = kind;
        fault.trigger = FaultTrigger::Opcode;
        fault.opcode = opcode;
        fault.number = number;
        fault.repeat = 0;
        fault.senseKey = senseKey;
        fault.asc = 0x0C;
        ASSERT_TRUE(system.drive(0).AddFault(fault));
    }

    Parser::WorkerParameters Parameters(int drive = 0)
    {
        return {devices[size_t(drive)].get(), image.data(), int32_t(image.size()), false};
    }

    AtapiDevice& device(int drive = 0) { return *devices[size_t(drive)]; }
    std::function<uint8_t(int)> ResultOf()
    {
        return [this](int drive) { return device(drive).updateResult; };
    }

    // Runs ThreadMain on this thread with the result preset to the opposite of expected, so
    // that a result left untouched cannot pass.
    uint8_t ThreadMainResult(uint8_t presetResult)
    {
        Parser worker(Parameters());
        device().updateResult = presetResult;
        worker.ThreadMain();
        return device().updateResult;
    }

    ThrowingSystem system;
    std::vector<std::unique_ptr<AtapiDevice>> devices;
    const std::vector<uint8_t> image = MakeImage(kImageSize);
};

// ---- Results -----------------------------------------------------------------------------

// The drive resets after the commit: the worker polls it until it is ready again (unit
// attention, then its becoming-ready polls, then one more), so the completion reads the drive as
// it runs its new firmware.
TEST_F(Worker, SuccessfulDownloadLeaves0AfterTheDriveHasSettled)
{
    Open();
    EXPECT_EQ(ThreadMainResult(42), 0);
    const sim::VirtualDrive& drive = system.drive(0);
    EXPECT_EQ(drive.flashState(), FlashState::Good);
    const std::vector<std::string>& trace = drive.trace();
    const auto commit = std::find_if(trace.begin(), trace.end(), [](const std::string& line) {
        return line.rfind("3B", 0) == 0 && line.substr(18, 2) == "80";
    });
    ASSERT_NE(commit, trace.end());
    const std::vector<std::string> afterCommit(commit + 1, trace.end());
    EXPECT_EQ(afterCommit.size(), drive.config().becomingReadyPolls + 3);
    EXPECT_TRUE(std::all_of(afterCommit.begin(), afterCommit.end(),
                            [](const std::string& line) { return line.rfind("000000000000000000000000", 0) == 0; }));
    EXPECT_EQ(afterCommit.back(), "000000000000000000000000 none 0 sense 2/3A/01") << "ready, without a disc";
}

// A failed identification ends the download before errors are raised.
TEST_F(Worker, DownloadFalseWithTheFlagClearLeaves42WithoutAnException)
{
    Open();
    Fail(0xDF, FaultKind::Sense);
    Parser worker(Parameters());
    bool ok = true;
    EXPECT_NO_THROW(ok = worker.RunUpdate());
    EXPECT_FALSE(ok);
    EXPECT_FALSE(device().ErrorRaisingEnabled());
    EXPECT_EQ(ThreadMainResult(0), 42);
    EXPECT_EQ(system.drive(0).flashState(), FlashState::Untouched);
}

// Every read-back differs: three passes, false with the flag set, and the worker throws 42.
TEST_F(Worker, DownloadFalseWithTheFlagSetThrows42AndLeaves42)
{
    Open();
    Fail(0x3C, FaultKind::CorruptReply);
    Parser worker(Parameters());
    try {
        worker.RunUpdate();
        FAIL() << "RunUpdate returned";
    } catch (const ErrCodeException& error) {
        EXPECT_EQ(error.Code(), ErrCodeException::kDownloadFailed);
    }
    EXPECT_EQ(ThreadMainResult(0), 42);
    EXPECT_EQ(system.drive(0).flashState(), FlashState::Untouched);
}

TEST_F(Worker, RaisedTransportCodeLeaves42)
{
    Open();
    Fail(0x3C, FaultKind::Sense, 4);
    Parser worker(Parameters());
    try {
        worker.RunUpdate();
        FAIL() << "RunUpdate returned";
    } catch (const ErrCodeException& error) {
        EXPECT_EQ(error.Code(), 4) << "the sense key, passed through RunUpdate";
    }
    EXPECT_EQ(ThreadMainResult(0), 42);
}

TEST_F(Worker, RequestFailedTwiceLeaves42)
{
    Open();
    Fail(0x3B, FaultKind::RequestFails, 0, 2);  // the image blocks, not the profile
    EXPECT_EQ(ThreadMainResult(0), 42);
    // The first block was sent twice, then the transport gave up.
    const std::vector<std::string>& trace = system.drive(0).trace();
    ASSERT_GE(trace.size(), 2u);
    EXPECT_EQ(trace[trace.size() - 2], "3B0501000000004000000000 out 16384 failed");
    EXPECT_EQ(trace.back(), "3B0501000000004000000000 out 16384 failed");
    EXPECT_EQ(system.drive(0).flashState(), FlashState::Untouched);
}

TEST_F(Worker, ForeignStandardExceptionLeaves42)
{
    Open();
    system.throwOnRead = ThrowingSystem::Throw::StandardException;
    EXPECT_EQ(ThreadMainResult(0), 42);
    EXPECT_EQ(system.drive(0).flashState(), FlashState::Untouched);
}

TEST_F(Worker, ExceptionOfUnknownTypeLeaves42)
{
    Open();
    system.throwOnRead = ThrowingSystem::Throw::Unknown;
    EXPECT_EQ(ThreadMainResult(0), 42);
}

TEST_F(Worker, ParametersAreCopiedWhenTheWorkerIsMade)
{
    Open();
    Parser::WorkerParameters parameters = Parameters();
    Parser worker(parameters);
    parameters.length = 100;
    parameters.image = nullptr;
    worker.ThreadMain();
    EXPECT_EQ(device().updateResult, 0);
    EXPECT_EQ(system.drive(0).flashState(), FlashState::Good);
}

TEST_F(Worker, BootCodeFlagReachesTheCommit)
{
    Open();
    Parser::WorkerParameters parameters = Parameters();
    parameters.bootCode = true;
    Parser worker(parameters);
    worker.ThreadMain();
    EXPECT_EQ(device().updateResult, 0);
    EXPECT_EQ(system.drive(0).lastCommit().control, 0xA0);
}

// ---- The thread and its end --------------------------------------------------------------

// Records every end it is told of, on which thread, and what the worker had left by then.
class EndRecorder : public WorkerEndHandler {
public:
    explicit EndRecorder(std::function<uint8_t(int)> resultOf) : resultOf(std::move(resultOf)) {}

    void WorkerEnded(int slot) override
    {
        slots.push_back(slot);
        onSequenceThread = onSequenceThread && std::this_thread::get_id() == sequenceThread;
        results.push_back(resultOf(slot));
        if (onEnd) onEnd(slot);
    }

    std::function<uint8_t(int)> resultOf;
    const std::thread::id sequenceThread = std::this_thread::get_id();
    std::vector<int> slots;
    std::vector<uint8_t> results;
    bool onSequenceThread = true;
    std::function<void(int)> onEnd;
};

// Runs the loop of a console front end until count ends have been handled; false past a minute.
bool HandleEnds(QueuedWorkerThreads& threads, const EndRecorder& recorder, std::size_t count)
{
    const auto giveUp = QueuedWorkerThreads::Clock::now() + std::chrono::minutes(1);
    while (recorder.slots.size() < count) {
        if (QueuedWorkerThreads::Clock::now() > giveUp) return false;
        threads.WaitForEnds(QueuedWorkerThreads::Clock::now() + std::chrono::milliseconds(100));
    }
    return true;
}

// The download runs on the worker's thread; its end, with the result already written, is handled
// on the sequence's thread while the worker's slot stays taken (its thread waits).
TEST_F(Worker, EndIsHandledOnTheSequenceThreadWhileTheWorkerWaits)
{
    Open();
    AtapiDevice::SetMessagePump(&RecordPumpThread);
    pumpThreadEnded.store(false);
    QueuedWorkerThreads threads;
    EndRecorder recorder(ResultOf());
    Parser worker(Parameters());
    Parser second(Parameters());
    bool slotTakenWhileHandled = false;
    bool workerWaited = false;
    recorder.onEnd = [&](int slot) {
        slotTakenWhileHandled = !threads.Start(slot, second, recorder);
        // A worker that did not wait would end meanwhile.
        for (int i = 0; i < 200 && !pumpThreadEnded.load(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        workerWaited = !pumpThreadEnded.load();
    };
    ASSERT_TRUE(threads.Start(0, worker, recorder));
    ASSERT_TRUE(HandleEnds(threads, recorder, 1));

    EXPECT_EQ(recorder.slots, std::vector<int>{0});
    EXPECT_EQ(recorder.results, std::vector<uint8_t>{0}) << "the result is written before the end";
    EXPECT_TRUE(recorder.onSequenceThread);
    EXPECT_TRUE(slotTakenWhileHandled);
    EXPECT_TRUE(workerWaited);
    EXPECT_NE(pumpThread.load(), std::this_thread::get_id()) << "the download ran on the worker's thread";
    EXPECT_EQ(system.drive(0).flashState(), FlashState::Good);
}

// Two drives side by side, one failing: each end once, each with its own result; a handler that
// dispatches again (a message box's loop) handles no end twice.
TEST_F(Worker, EveryEndIsHandledOnceWithItsOwnResult)
{
    Open(2);
    Fail(0x3B, FaultKind::Sense);
    QueuedWorkerThreads threads;
    EndRecorder recorder(ResultOf());
    recorder.onEnd = [&](int) { threads.DispatchEnds(); };
    Parser failing(Parameters(0));
    Parser succeeding(Parameters(1));
    ASSERT_TRUE(threads.Start(0, failing, recorder));
    ASSERT_TRUE(threads.Start(1, succeeding, recorder));
    ASSERT_TRUE(HandleEnds(threads, recorder, 2));
    threads.DispatchEnds();

    std::vector<int> slots = recorder.slots;
    std::sort(slots.begin(), slots.end());
    EXPECT_EQ(slots, (std::vector<int>{0, 1}));
    EXPECT_EQ(device(0).updateResult, 42);
    EXPECT_EQ(device(1).updateResult, 0);
    for (std::size_t i = 0; i < recorder.slots.size(); ++i)
        EXPECT_EQ(recorder.results[i], recorder.slots[i] == 0 ? 42 : 0);
    EXPECT_TRUE(recorder.onSequenceThread);
    EXPECT_EQ(system.drive(1).flashState(), FlashState::Good);
}

// A sequence torn down with an end not yet handled: the worker is let go, its end never handled.
TEST_F(Worker, AbandonedEndIsNeverHandled)
{
    Open();
    QueuedWorkerThreads threads;
    EndRecorder recorder(ResultOf());
    Parser worker(Parameters());
    ASSERT_TRUE(threads.Start(0, worker, recorder));
    threads.AbandonAndJoin();
    EXPECT_EQ(threads.DispatchEnds(), 0);
    EXPECT_TRUE(recorder.slots.empty());
    EXPECT_EQ(device().updateResult, 0) << "the worker itself ran to its end";
}

}  // namespace
