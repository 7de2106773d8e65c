// The device object's life on the virtual system: what construction leaves, what destruction
// gives back, the buffers, the copy of the drive state into a per-drive object, and that a
// command allocates nothing.

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <thread>

#include "device/AtapiDevice.h"
#include "tests/device/ObservedSystem.h"
#include "tests/support/AllocationCounter.h"

namespace {

using devicetest::Cdb;
using devicetest::ObservedSystem;
using devicetest::Path;
using platform::DataDirection;

bool Execute(AtapiDevice& device, const Cdb& cdb, DataDirection direction, uint32_t length)
{
    return device.ExecuteCommand(cdb.bytes, direction, length);
}

void AddDrives(ObservedSystem& system, int count)
{
    for (int i = 0; i < count; ++i) ASSERT_NE(system.AddDrive(devicetest::ReadyDrive()), nullptr);
}

// --- Construction and destruction ----------------------------------------------------------------

TEST(DeviceObjectLife, MadeWithoutScanHasBuffersAndNoDrive)
{
    ObservedSystem system;
    AddDrives(system, 1);
    AtapiDevice device(system, false);
    EXPECT_EQ(device.CurrentIndex(), kNoDriveSelected);
    EXPECT_EQ(device.DriveCount(), 0);
    EXPECT_EQ(device.updateResult, 0);
    EXPECT_FALSE(device.ErrorRaisingEnabled());
    ASSERT_NE(device.InputBuffer(), nullptr);
    ASSERT_NE(device.OutputBuffer(), nullptr);
    EXPECT_NE(device.InputBuffer(), device.OutputBuffer());
    const LastCommand& record = device.LastCommandRecord();
    EXPECT_EQ(record.lastStatus, 0);
    EXPECT_EQ(record.senseKey, 0);
    EXPECT_EQ(record.lastElapsed, 0.0);
    EXPECT_EQ(record.lastTransferred, 0u);

    EXPECT_FALSE(Execute(device, devicetest::TestUnitReadyCdb(), DataDirection::None, 0));
    EXPECT_EQ(system.passThroughCount, 0);
    EXPECT_EQ(system.drive(0).commandCount(), 0u);
}

TEST(DeviceObjectLife, MadeWithScanListsTheDrivesWithNoneSelectedOrOpen)
{
    ObservedSystem system;
    AddDrives(system, 2);
    AtapiDevice device(system);
    EXPECT_EQ(device.DriveCount(), 2);
    EXPECT_EQ(device.CurrentIndex(), kNoDriveSelected);
    EXPECT_EQ(system.openDriveCount(), 0);
    EXPECT_GT(system.drive(1).commandCount(), 0u);
}

TEST(DeviceObjectLife, DestructionClosesTheDriveAndFreesTheManager)
{
    for (Path path : {Path::PassThrough, Path::Aspi}) {
        SCOPED_TRACE(devicetest::PathName(path));
        ObservedSystem system;
        devicetest::UsePath(system, path);
        AddDrives(system, 1);
        auto device = std::make_unique<AtapiDevice>(system);
        ASSERT_TRUE(device->SelectDrive(0));
        ASSERT_TRUE(Execute(*device, devicetest::TestUnitReadyCdb(), DataDirection::None, 0));
        EXPECT_EQ(system.openDriveCount(), path == Path::PassThrough ? 1 : 0);
        EXPECT_EQ(system.loadedAspiCount(), path == Path::Aspi ? 1 : 0);
        device.reset();
        EXPECT_EQ(system.openDriveCount(), 0);
        EXPECT_EQ(system.loadedAspiCount(), 0);
        EXPECT_EQ(system.openEventCount(), 0);
    }
}

TEST(DeviceObjectLife, FreeBuffersLeavesBothNull)
{
    ObservedSystem system;
    AtapiDevice device(system, false);
    device.FreeBuffers();
    EXPECT_EQ(device.InputBuffer(), nullptr);
    EXPECT_EQ(device.OutputBuffer(), nullptr);
    device.FreeBuffers();  // a second time is harmless
    EXPECT_EQ(device.InputBuffer(), nullptr);
}

TEST(DeviceObjectLife, FailedBufferAllocationRefusesDataCommandsOnly)
{
    ObservedSystem system;
    AddDrives(system, 1);
    AtapiDevice source(system);
    std::unique_ptr<AtapiDevice> device;
    {
        testsupport::FailingAllocations failing(kBufferSize);
        device = std::make_unique<AtapiDevice>(system, false);
    }
    EXPECT_EQ(device->InputBuffer(), nullptr);
    EXPECT_EQ(device->OutputBuffer(), nullptr);
    source.CopyStateTo(*device);
    ASSERT_TRUE(device->SelectDrive(0));
    const uint32_t sent = system.drive(0).commandCount();
    EXPECT_FALSE(Execute(*device, devicetest::InquiryCdb(96), DataDirection::In, 96));
    EXPECT_EQ(system.drive(0).commandCount(), sent);
    EXPECT_TRUE(Execute(*device, devicetest::TestUnitReadyCdb(), DataDirection::None, 0));
    EXPECT_EQ(system.drive(0).commandCount(), sent + 1);
}

// --- CopyStateTo ----------------------------------------------------------------------------------

class CopyState : public ::testing::Test {
protected:
    void SetUp() override
    {
        AddDrives(system, 2);
        source = std::make_unique<AtapiDevice>(system);
        destination = std::make_unique<AtapiDevice>(system, false);
    }

    ObservedSystem system;
    std::unique_ptr<AtapiDevice> source;
    std::unique_ptr<AtapiDevice> destination;
};

TEST_F(CopyState, DestinationGetsTheTableButNoSelectedDrive)
{
    ASSERT_TRUE(source->SelectDrive(1));
    source->CopyStateTo(*destination);
    EXPECT_EQ(destination->DriveCount(), 2);
    EXPECT_EQ(destination->CurrentIndex(), kNoDriveSelected);
    for (uint32_t i = 0; i < 2; ++i) {
        const DriveRecord* copied = destination->GetDrive(i);
        const DriveRecord* original = source->GetDrive(i);
        ASSERT_NE(copied, nullptr);
        ASSERT_NE(original, nullptr);
        EXPECT_STREQ(copied->displayName, original->displayName);
        EXPECT_STREQ(copied->revision, original->revision);
        EXPECT_STREQ(copied->rootPath, original->rootPath);
        EXPECT_EQ(copied->target, original->target);
        EXPECT_EQ(copied->present, 1);
    }
    EXPECT_EQ(destination->GetDrive(2), nullptr);

    // Nothing is open in the destination until it selects a drive, and then its own volume.
    const int sent = system.passThroughCount;
    EXPECT_FALSE(Execute(*destination, devicetest::TestUnitReadyCdb(), DataDirection::None, 0));
    EXPECT_EQ(system.passThroughCount, sent);
    ASSERT_TRUE(destination->SelectDrive(1));
    EXPECT_EQ(system.openDriveCount(), 2);
    EXPECT_TRUE(Execute(*destination, devicetest::TestUnitReadyCdb(), DataDirection::None, 0));
}

TEST_F(CopyState, DestinationKeepsItsBuffersRecordAndResult)
{
    source->CopyStateTo(*destination);
    ASSERT_TRUE(destination->SelectDrive(0));
    system.drive(0).AddFault(devicetest::NextSense(system.drive(0), 0x5, 0x24, 0x00));
    ASSERT_FALSE(Execute(*destination, devicetest::TestUnitReadyCdb(), DataDirection::None, 0));
    const LastCommand before = destination->LastCommandRecord();
    ASSERT_NE(before.senseKey, 0);
    destination->updateResult = 42;
    uint8_t* const input = destination->InputBuffer();
    uint8_t* const output = destination->OutputBuffer();

    source->SetCommandTimeout(30000);
    source->EnableErrorRaising();
    source->updateResult = 0;
    source->CopyStateTo(*destination);

    EXPECT_EQ(system.openDriveCount(), 0);  // the volume it had open is closed
    EXPECT_EQ(destination->CurrentIndex(), kNoDriveSelected);
    EXPECT_EQ(destination->InputBuffer(), input);
    EXPECT_EQ(destination->OutputBuffer(), output);
    EXPECT_NE(destination->InputBuffer(), source->InputBuffer());
    EXPECT_EQ(destination->updateResult, 42);
    EXPECT_EQ(destination->LastCommandRecord().senseKey, before.senseKey);
    EXPECT_EQ(destination->LastCommandRecord().asc, before.asc);
    EXPECT_EQ(0, std::memcmp(destination->LastCommandRecord().lastCdb, before.lastCdb, sizeof before.lastCdb));

    EXPECT_TRUE(destination->ErrorRaisingEnabled());
    ASSERT_TRUE(destination->SelectDrive(0));
    EXPECT_TRUE(Execute(*destination, devicetest::TestUnitReadyCdb(), DataDirection::None, 0));
    EXPECT_EQ(system.lastPassThrough.timeoutMs, 30000u);
}

TEST(CopyStateAspi, DestinationKeepsItsOwnManagerLoad)
{
    ObservedSystem system;
    devicetest::UsePath(system, Path::Aspi);
    AddDrives(system, 1);
    auto source = std::make_unique<AtapiDevice>(system);
    AtapiDevice destination(system, false);
    EXPECT_EQ(system.loadedAspiCount(), 2);
    source->CopyStateTo(destination);
    source.reset();
    EXPECT_EQ(system.loadedAspiCount(), 1);
    ASSERT_TRUE(destination.SelectDrive(0));
    EXPECT_TRUE(Execute(destination, devicetest::TestUnitReadyCdb(), DataDirection::None, 0));
}

// --- No allocation per command ------------------------------------------------------------------

class CommandAllocation : public ::testing::TestWithParam<Path> {};

TEST_P(CommandAllocation, ThousandCommandsAllocateNothing)
{
    ObservedSystem system;
    devicetest::UsePath(system, GetParam());
    AddDrives(system, 1);
    AtapiDevice device(system);
    ASSERT_TRUE(device.SelectDrive(0));
    system.drive(0).SetTraceEnabled(false);  // the drive's trace is the model's, not ours
    ASSERT_TRUE(Execute(device, devicetest::InquiryCdb(96), DataDirection::In, 96));

    int good = 0;
    long allocations = 0;
    {
        testsupport::ThreadAllocationCount count;
        for (int i = 0; i < 250; ++i) {
            good += Execute(device, devicetest::InquiryCdb(96), DataDirection::In, 96);
            good += Execute(device, devicetest::TestUnitReadyCdb(), DataDirection::None, 0);
            good += Execute(device, devicetest::ReadBufferCdb(16384), DataDirection::In, 16384);
            good += !Execute(device, devicetest::ReadBufferCdb(70000), DataDirection::In, 70000);
        }
        allocations = count.Count();
    }
    EXPECT_EQ(good, 1000);
    EXPECT_EQ(allocations, 0);
}

INSTANTIATE_TEST_SUITE_P(BothPaths, CommandAllocation, ::testing::Values(Path::PassThrough, Path::Aspi),
                         [](const auto& info) { return std::string(devicetest::PathName(info.param)); });

TEST(AllocationCounting, SeesAnAllocation)
{
    testsupport::ThreadAllocationCount count;
    auto block = std::make_unique<int>(7);
    EXPECT_EQ(count.Count(), 1);
    EXPECT_EQ(*block, 7);
}

// The program count and a failing size reach every thread; a thread's count only its own. The
// other thread is started before the counts and released after, so that starting it is not
// counted.
TEST(AllocationCounting, ProgramCountAndFailingSizeReachOtherThreads)
{
    constexpr std::size_t kFailingSize = 12345;
    std::atomic<bool> go{false};
    bool allocated = false;
    bool failed = false;
    std::thread other([&] {
        while (!go.load()) std::this_thread::yield();
        // The pointer escapes through a volatile, so an optimising build cannot leave out the
        // allocation as it may for a new-expression whose result is never used.
        static int* volatile escaped = nullptr;
        auto value = std::make_unique<int>(7);
        escaped = value.get();
        allocated = escaped != nullptr;
        failed = std::unique_ptr<char[]>(new (std::nothrow) char[kFailingSize]) == nullptr;
    });

    long ownAllocations = 0;
    uint64_t programAllocations = testsupport::ProgramAllocationCount();
    {
        testsupport::ThreadAllocationCount count;
        testsupport::FailingAllocations failing(kFailingSize);
        go.store(true);
        other.join();
        ownAllocations = count.Count();
    }
    programAllocations = testsupport::ProgramAllocationCount() - programAllocations;
    EXPECT_TRUE(allocated);
    EXPECT_TRUE(failed);
    EXPECT_EQ(programAllocations, 1u);
    EXPECT_EQ(ownAllocations, 0);
}

}  // namespace
