#pragma once
// The test program's global allocation functions, replaced (link the object library
// norvik_test_allocation into the program) so that a test can count allocations, on its own
// thread or on every thread, and make allocations of one size fail.

#include <cstddef>
#include <cstdint>

namespace testsupport {

// Counts the calling thread's allocations from construction to destruction.
class ThreadAllocationCount {
public:
    ThreadAllocationCount();
    ~ThreadAllocationCount();
    ThreadAllocationCount(const ThreadAllocationCount&) = delete;
    ThreadAllocationCount& operator=(const ThreadAllocationCount&) = delete;

    long Count() const;
};

// Allocations made through operator new since the program started, on every thread.
uint64_t ProgramAllocationCount();

// While it lives, every allocation of exactly this many bytes fails, on whichever thread makes
// it: the object under test may be made on a thread other than the test's.
class FailingAllocations {
public:
    explicit FailingAllocations(std::size_t size);
    ~FailingAllocations();
    FailingAllocations(const FailingAllocations&) = delete;
    FailingAllocations& operator=(const FailingAllocations&) = delete;
};

}  // namespace testsupport
