#include "sim/VirtualEvents.h"

#include <chrono>

namespace sim {

VirtualEvents::Event* VirtualEvents::Find(platform::EventHandle event) {
    for (Event& slot : events) {
        if (&slot == event) return slot.inUse ? &slot : nullptr;
    }
    return nullptr;
}

platform::EventHandle VirtualEvents::Create() {
    std::lock_guard lock(mutex);
    if (creationFails) return nullptr;
    for (Event& slot : events) {
        if (!slot.inUse) {
            slot = Event{true, false, 0, slot.generation + 1};
            return &slot;
        }
    }
    return nullptr;
}

bool VirtualEvents::Wait(platform::EventHandle event, uint32_t milliseconds) {
    std::unique_lock lock(mutex);
    Event* slot = Find(event);
    if (slot == nullptr) return false;
    const uint32_t generation = slot->generation;
    auto done = [&] {
        return !slot->inUse || slot->generation != generation || slot->signaled;
    };
    if (clock.mode() == ClockMode::Virtual) {
        if (slot->expected == 0 && !slot->signaled) {
            lock.unlock();
            clock.Spend(milliseconds / 1000.0);
            return false;
        }
        changed.wait(lock, done);
    } else {
        changed.wait_for(lock, std::chrono::milliseconds(milliseconds), done);
    }
    return slot->inUse && slot->generation == generation && slot->signaled;
}

void VirtualEvents::Close(platform::EventHandle event) {
    std::lock_guard lock(mutex);
    if (Event* slot = Find(event)) {
        slot->inUse = false;
        changed.notify_all();
    }
}

void VirtualEvents::SetCreationFails(bool fails) {
    std::lock_guard lock(mutex);
    creationFails = fails;
}

bool VirtualEvents::Expect(platform::EventHandle event, uint32_t& generation) {
    std::lock_guard lock(mutex);
    Event* slot = Find(event);
    if (slot == nullptr) return false;
    ++slot->expected;
    generation = slot->generation;
    return true;
}

void VirtualEvents::Signal(platform::EventHandle event, uint32_t generation) {
    std::lock_guard lock(mutex);
    Event* slot = Find(event);
    if (slot == nullptr || slot->generation != generation) return;
    if (slot->expected > 0) --slot->expected;
    slot->signaled = true;
    changed.notify_all();
}

int VirtualEvents::openCount() const {
    std::lock_guard lock(mutex);
    int count = 0;
    for (const Event& slot : events) count += slot.inUse ? 1 : 0;
    return count;
}

}  // namespace sim
