#include "platform/linux/CompletionEvent.h"

#include <chrono>

namespace platform {

void CompletionEvent::Signal()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        isSignalled = true;
    }
    signalled.notify_all();
}

bool CompletionEvent::Wait(uint32_t milliseconds)
{
    std::unique_lock<std::mutex> lock(mutex);
    // The predicate form absorbs spurious wake-ups and a signal given before the wait began.
    return signalled.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return isSignalled; });
}

}  // namespace platform
