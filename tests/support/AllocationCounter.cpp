// Replacement of the global allocation functions. Each form hands the memory to malloc and takes
// it back with free, so every new meets a matching delete.

#include "tests/support/AllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<uint64_t> programAllocations{0};
std::atomic<std::size_t> failingSize{0};
thread_local bool countingThread = false;
thread_local long threadAllocations = 0;

void* Allocate(std::size_t size) noexcept
{
    if (size != 0 && size == failingSize.load(std::memory_order_relaxed)) return nullptr;
    programAllocations.fetch_add(1, std::memory_order_relaxed);
    if (countingThread) ++threadAllocations;
    return std::malloc(size == 0 ? 1 : size);
}

void* AllocateOrThrow(std::size_t size)
{
    void* block = Allocate(size);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

}  // namespace

namespace testsupport {

ThreadAllocationCount::ThreadAllocationCount()
{
    threadAllocations = 0;
    countingThread = true;
}

ThreadAllocationCount::~ThreadAllocationCount() { countingThread = false; }

long ThreadAllocationCount::Count() const { return threadAllocations; }

uint64_t ProgramAllocationCount() { return programAllocations.load(std::memory_order_relaxed); }

FailingAllocations::FailingAllocations(std::size_t size) { failingSize.store(size); }

FailingAllocations::~FailingAllocations() { failingSize.store(0); }

}  // namespace testsupport

void* operator new(std::size_t size) { return AllocateOrThrow(size); }
void* operator new[](std::size_t size) { return AllocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
