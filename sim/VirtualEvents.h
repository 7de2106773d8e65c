#pragma once
// Completion events of the virtual system: manual reset, created not signalled, in a fixed
// table. A handle is the address of its slot; a closed or foreign handle is ignored, and a
// signal meant for an event that was closed (and perhaps made anew) meanwhile is dropped.
//
// In virtual time a wait for an event that nobody is going to signal passes its whole limit on
// the waiter's clock at once; a wait for an event with a completion on its way blocks until
// the completion arrives, which the completing thread delivers without delay.

#include <array>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/System.h"
#include "sim/VirtualClock.h"

namespace sim {

class VirtualEvents {
public:
    static constexpr int kMaxEvents = 64;

    explicit VirtualEvents(VirtualClock& clock) : clock(clock) {}

    platform::EventHandle Create();   // null when creation is made to fail or the table is full
    bool Wait(platform::EventHandle event, uint32_t milliseconds);
    void Close(platform::EventHandle event);
    void SetCreationFails(bool fails);

    // The completing side: Expect announces a signal to come (false for an unknown event) and
    // hands out the event's generation; Signal delivers it.
    bool Expect(platform::EventHandle event, uint32_t& generation);
    void Signal(platform::EventHandle event, uint32_t generation);

    int openCount() const;

private:
    struct Event {
        bool inUse;
        bool signaled;
        int expected;          // signals announced and not yet delivered
        uint32_t generation;
    };
    Event* Find(platform::EventHandle event);

    VirtualClock& clock;
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::array<Event, kMaxEvents> events{};
    bool creationFails = false;
};

}  // namespace sim
