#pragma once
// The test program's global allocation functions, replaced so that a test can count the
// allocations its own thread makes, and make allocations of one size fail.

#include <cstddef>

namespace devicetest {

// Counts the calling thread's allocations from construction to destruction.
class AllocationCount {
public:
    AllocationCount();
    ~AllocationCount();
    AllocationCount(const AllocationCount&) = delete;
    AllocationCount& operator=(const AllocationCount&) = delete;

    long Count() const;
};

// While it lives, every allocation of exactly this many bytes on the calling thread fails.
class FailingAllocations {
public:
    explicit FailingAllocations(std::size_t size);
    ~FailingAllocations();
    FailingAllocations(const FailingAllocations&) = delete;
    FailingAllocations& operator=(const FailingAllocations&) = delete;
};

}  // namespace devicetest
