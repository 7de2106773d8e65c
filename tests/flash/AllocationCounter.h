#pragma once
// Counts the program's heap allocations (the test executable replaces the global operator new),
// so that tests can show that an operation allocates nothing.

#include <cstdint>

namespace flashtest {

// Allocations made through operator new since the program started, on every thread.
uint64_t AllocationCount();

}  // namespace flashtest
