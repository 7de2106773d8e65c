#pragma once
// Completion events of the virtual system: manual reset, created not signalled, in a fixed
// table. A handle is the address of its slot; a closed or foreign handle is ignored, and a
// signal meant for an event that was closed (and perhaps made anew) meanwhile is dropped.
//
// Wait blocks for real, up to its limit: the real clock's wait. In virtual time nothing blocks;
// the system lets the waiter's clock run to the completion or the limit and then asks
// IsSignaled.

#include <array>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/System.h"

namespace sim {

class VirtualEvents {
public:
    static constexpr int kMaxEvents = 64;

    platform::EventHandle Create();  // null when creation is made to fail or the table is full
    bool Wait(platform::EventHandle event, uint32_t milliseconds);
    bool IsOpen(platform::EventHandle event) const;
    bool IsSignaled(platform::EventHandle event) const;  // false for a closed event
    void Close(platform::EventHandle event);
    void SetCreationFails(bool fails);

    // The completing side: Generation hands out the event's present generation when the
    // request is taken (false for an unknown event); Signal delivers with it.
    bool Generation(platform::EventHandle event, uint32_t& generation) const;
    void Signal(platform::EventHandle event, uint32_t generation);

    int openCount() const;

private:
    struct Event {
        bool inUse;
        bool signaled;
        uint32_t generation;
    };
    Event* Find(platform::EventHandle event);
    const Event* Find(platform::EventHandle event) const;

    mutable std::mutex mutex;
    std::condition_variable changed;
    std::array<Event, kMaxEvents> events{};
    bool creationFails = false;
};

}  // namespace sim
