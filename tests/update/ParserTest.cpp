// The update worker: the result it leaves in the device object for every way a download can
// end, and its life as a thread whose end is handled on the window thread while it waits.

#include <gtest/gtest.h>

#include <QtCore/QDeadlineTimer>
#include <QtCore/QEventLoop>
#include <QtCore/QPointer>
#include <QtCore/QThread>
#include <QtCore/QTimer>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "device/AtapiDevice.h"
#include "device/ErrCodeException.h"
#include "sim/VirtualSystem.h"
#include "tests/flash/DownloadTrace.h"
#include "update/Parser.h"

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

std::atomic<QThread*> pumpThread{nullptr};
void RecordPumpThread() { pumpThread.store(QThread::currentThread()); }

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

    // Runs ThreadMain on this thread with the result preset to the opposite of expected, so
    // that a result left untouched cannot pass.
    uint8_t ThreadMainResult(uint8_t presetResult)
    {
        Parser worker(Parameters());
        device().updateResult = presetResult;
        worker.ThreadMain();
        return device().updateResult;
    }

    // Spins this thread's event loop until the worker has deleted itself.
    static bool WaitUntilDeleted(const QPointer<Parser>& worker)
    {
        if (worker.isNull()) return true;
        QEventLoop loop;
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
        QObject::connect(worker.data(), &QObject::destroyed, &loop, &QEventLoop::quit);
        guard.start(30000);
        loop.exec();
        return worker.isNull();
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

TEST_F(Worker, EndIsHandledOnTheWindowThreadWhileTheWorkerWaits)
{
    Open();
    AtapiDevice::SetMessagePump(&RecordPumpThread);
    pumpThread.store(nullptr);
    QObject window;
    std::vector<std::string> order;
    QThread* handlerThread = nullptr;
    bool workerWaited = false;
    bool resultWritten = false;

    QPointer<Parser> worker = new Parser(Parameters());
    QObject::connect(worker.data(), &QObject::destroyed, [&] { order.push_back("deleted"); });
    worker->Start(&window, [&] {
        order.push_back("handled");
        handlerThread = QThread::currentThread();
        resultWritten = worker->isFinished() && device().updateResult == 0;
        // The worker thread cannot end while its end is being handled.
        workerWaited = !worker->wait(QDeadlineTimer(50));
    });
    ASSERT_TRUE(WaitUntilDeleted(worker));

    EXPECT_EQ(order, (std::vector<std::string>{"handled", "deleted"}));
    EXPECT_EQ(handlerThread, QThread::currentThread()) << "handled on the window thread";
    EXPECT_NE(pumpThread.load(), nullptr);
    EXPECT_NE(pumpThread.load(), QThread::currentThread()) << "the download ran on the worker thread";
    EXPECT_TRUE(resultWritten);
    EXPECT_TRUE(workerWaited);
    EXPECT_EQ(system.drive(0).flashState(), FlashState::Good);
}

class EndHandler : public QObject {
public:
    void ParserTerminate()
    {
        onWindowThread = onWindowThread && QThread::currentThread() == thread();
        if (--runningWorkers == 0) ++completions;
    }

    int runningWorkers = 0;
    int completions = 0;
    bool onWindowThread = true;
};

TEST_F(Worker, TwoWorkersEndOneAfterTheOtherAndTheLastCompletes)
{
    Open(2);
    EndHandler window;
    window.runningWorkers = 2;
    QPointer<Parser> first = new Parser(Parameters(0));
    QPointer<Parser> second = new Parser(Parameters(1));
    first->Start(&window, &EndHandler::ParserTerminate);
    second->Start(&window, &EndHandler::ParserTerminate);
    ASSERT_TRUE(WaitUntilDeleted(first));
    ASSERT_TRUE(WaitUntilDeleted(second));

    EXPECT_EQ(window.runningWorkers, 0);
    EXPECT_EQ(window.completions, 1);
    EXPECT_TRUE(window.onWindowThread);
    EXPECT_EQ(device(0).updateResult, 0);
    EXPECT_EQ(device(1).updateResult, 0);
    EXPECT_EQ(system.drive(0).flashState(), FlashState::Good);
    EXPECT_EQ(system.drive(1).flashState(), FlashState::Good);
}

TEST_F(Worker, FailedWorkerReportsItsResultThroughTheSameEnd)
{
    Open();
    Fail(0x3B, FaultKind::Sense);
    QObject window;
    uint8_t resultSeen = 0;
    QPointer<Parser> worker = new Parser(Parameters());
    worker->Start(&window, [&] { resultSeen = device().updateResult; });
    ASSERT_TRUE(WaitUntilDeleted(worker));
    EXPECT_EQ(resultSeen, 42);
}

}  // namespace
