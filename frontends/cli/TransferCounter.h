#pragma once
// The image data the drives have taken and given back (the data of WRITE BUFFER and READ BUFFER
// commands), counted as each command ends. Without a terminal the console shows an update's
// progress from it: the window's timer runs on its own clock, reaches only half its range in a
// typical update and then jumps to the end; the data moved says how far the update really is.

#include <atomic>
#include <cstdint>

#include "platform/System.h"

namespace cli {

class TransferCounter {
public:
    // Commands to several drives end on several threads.
    void Note(const platform::PassThroughRequest& request, bool delivered);
    uint64_t Bytes() const { return bytes.load(std::memory_order_relaxed); }

private:
    std::atomic<uint64_t> bytes{0};
};

}  // namespace cli
