// Device objects that cannot be made: the test program replaces the global allocation functions
// (norvik_test_allocation) so that allocations of one chosen size fail while armed.

#include <gtest/gtest.h>

#include "SequenceFixture.h"
#include "tests/support/AllocationCounter.h"

namespace sequencetest {
namespace {

class DeviceAllocationTest : public SequenceFixture {};

TEST_F(DeviceAllocationTest, MainDeviceObjectThatCannotBeAllocatedEndsTheProgram)
{
    sim::VirtualDrive& drive = AddDrive();
    MakeSequence();
    {
        testsupport::FailingAllocations failing(sizeof(AtapiDevice));
        sequence->StartUp();
    }
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].kind, MessageKind::Error);
    EXPECT_EQ(view.messages[0].title, "Error ...");
    EXPECT_EQ(view.messages[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(view.messages[0].text, "Device object initialize failed !");
    EXPECT_TRUE(
        ContainsInOrder(view.calls, {"status: ", "percent: 0 %", "progress: 0/100",
                                     "message: Device object initialize failed !", "terminate", "process messages"}));
    EXPECT_EQ(view.terminateCount, 1);
    EXPECT_EQ(view.processCount, 1);
    EXPECT_EQ(sequence->Outcome(), SequenceOutcome::DeviceFailed);
    EXPECT_EQ(sequence->MainDevice(), nullptr);
    EXPECT_TRUE(view.entries.empty());
    EXPECT_TRUE(drive.trace().empty());
}

TEST_F(DeviceAllocationTest, MainDeviceObjectWithoutCommandBuffersCountsAsNotMade)
{
    AddDrive();
    MakeSequence();
    {
        testsupport::FailingAllocations failing(kBufferSize);
        sequence->StartUp();
    }
    EXPECT_EQ(view.MessageTexts(), std::vector<std::string>{"Device object initialize failed !"});
    EXPECT_EQ(sequence->Outcome(), SequenceOutcome::DeviceFailed);
    EXPECT_EQ(sequence->MainDevice(), nullptr);
}

TEST_F(DeviceAllocationTest, DriveWhoseDeviceObjectCannotBeMadeCountsAsFailed)
{
    Set(SettingKey::WARNING, '0');
    sim::VirtualDrive& drive = AddDrive();
    StartUp();
    {
        testsupport::FailingAllocations failing(sizeof(AtapiDevice));
        sequence->cmdUpdateClick();
    }
    EXPECT_EQ(view.MessageTexts(), std::vector<std::string>{kUpdateFailed});
    EXPECT_EQ(view.terminateCount, 1);
    EXPECT_EQ(sequence->Outcome(), SequenceOutcome::UpdateFailed);
    EXPECT_EQ(CountOpcode(drive, kWriteBuffer), 0);
}

}  // namespace
}  // namespace sequencetest
