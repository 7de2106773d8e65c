#pragma once
// A completion event: manual reset, created not signalled. Once signalled it stays signalled,
// so a wait that begins after the signal still succeeds.

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace platform {

class CompletionEvent {
public:
    void Signal();
    // True when the event is (or becomes) signalled within the limit.
    bool Wait(uint32_t milliseconds);

private:
    std::mutex mutex;
    std::condition_variable signalled;
    bool isSignalled = false;
};

}  // namespace platform
