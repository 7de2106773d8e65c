// Device objects that cannot be made: the test program replaces the global allocation functions
// so that allocations of one chosen size fail while armed.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "SequenceFixture.h"

namespace {

std::atomic<std::size_t> failingSize{0};

void* Allocate(std::size_t size)
{
    if (size != 0 && size == failingSize.load(std::memory_order_relaxed)) return nullptr;
    return std::malloc(size == 0 ? 1 : size);
}

// Allocations of this size fail while the object lives.
class FailingAllocations {
public:
    explicit FailingAllocations(std::size_t size) { failingSize.store(size); }
    ~FailingAllocations() { failingSize.store(0); }
    FailingAllocations(const FailingAllocations&) = delete;
    FailingAllocations& operator=(const FailingAllocations&) = delete;
};

}  // namespace

void* operator new(std::size_t size)
{
    if (void* memory = Allocate(size)) return memory;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size)
{
    if (void* memory = Allocate(size)) return memory;
    throw std::bad_alloc();
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }

void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }

namespace sequencetest {
namespace {

class DeviceAllocationTest : public SequenceFixture {};

TEST_F(DeviceAllocationTest, MainDeviceObjectThatCannotBeAllocatedEndsTheProgram)
{
    sim::VirtualDrive& drive = AddDrive();
    MakeSequence();
    {
        FailingAllocations failing(sizeof(AtapiDevice));
        sequence->StartUp();
    }
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].kind, MessageKind::Error);
    EXPECT_EQ(view.messages[0].title, "Error ...");
    EXPECT_EQ(view.messages[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(view.messages[0].text, "Device object initialize failed !");
    EXPECT_TRUE(ContainsInOrder(view.calls, {"status: ", "percent: 0 %", "progress: 0/100",
                                             "message: Device object initialize failed !", "terminate",
                                             "process messages"}));
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
        FailingAllocations failing(kBufferSize);
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
        FailingAllocations failing(sizeof(AtapiDevice));
        sequence->cmdUpdateClick();
    }
    EXPECT_EQ(view.MessageTexts(), std::vector<std::string>{kUpdateFailed});
    EXPECT_EQ(view.terminateCount, 1);
    EXPECT_EQ(sequence->Outcome(), SequenceOutcome::UpdateFailed);
    EXPECT_EQ(CountOpcode(drive, kWriteBuffer), 0);
}

}  // namespace
}  // namespace sequencetest
