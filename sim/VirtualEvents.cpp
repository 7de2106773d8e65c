#include "sim/VirtualEvents.h"

#include <chrono>

namespace sim {

const VirtualEvents::Event* VirtualEvents::Find(platform::EventHandle event) const
{
    for (const Event& slot : events) {
        if (&slot == event) return slot.inUse ? &slot : nullptr;
    }
    return nullptr;
}

VirtualEvents::Event* VirtualEvents::Find(platform::EventHandle event)
{
    return const_cast<Event*>(static_cast<const VirtualEvents*>(this)->Find(event));
}

platform::EventHandle VirtualEvents::Create()
{
    std::lock_guard lock(mutex);
    if (creationFails) return nullptr;
    for (Event& slot : events) {
        if (!slot.inUse) {
            slot = Event{true, false, slot.generation + 1};
            return &slot;
        }
    }
    return nullptr;
}

bool VirtualEvents::Wait(platform::EventHandle event, uint32_t milliseconds)
{
    std::unique_lock lock(mutex);
    Event* slot = Find(event);
    if (slot == nullptr) return false;
    const uint32_t generation = slot->generation;
    auto done = [&] { return !slot->inUse || slot->generation != generation || slot->signaled; };
    changed.wait_for(lock, std::chrono::milliseconds(milliseconds), done);
    return slot->inUse && slot->generation == generation && slot->signaled;
}

bool VirtualEvents::IsOpen(platform::EventHandle event) const
{
    std::lock_guard lock(mutex);
    return Find(event) != nullptr;
}

bool VirtualEvents::IsSignaled(platform::EventHandle event) const
{
    std::lock_guard lock(mutex);
    const Event* slot = Find(event);
    return slot != nullptr && slot->signaled;
}

void VirtualEvents::Close(platform::EventHandle event)
{
    std::lock_guard lock(mutex);
    if (Event* slot = Find(event)) {
        slot->inUse = false;
        changed.notify_all();
    }
}

void VirtualEvents::SetCreationFails(bool fails)
{
    std::lock_guard lock(mutex);
    creationFails = fails;
}

bool VirtualEvents::Generation(platform::EventHandle event, uint32_t& generation) const
{
    std::lock_guard lock(mutex);
    const Event* slot = Find(event);
    if (slot == nullptr) return false;
    generation = slot->generation;
    return true;
}

void VirtualEvents::Signal(platform::EventHandle event, uint32_t generation)
{
    std::lock_guard lock(mutex);
    Event* slot = Find(event);
    if (slot == nullptr || slot->generation != generation) return;
    slot->signaled = true;
    changed.notify_all();
}

int VirtualEvents::openCount() const
{
    std::lock_guard lock(mutex);
    int count = 0;
    for (const Event& slot : events) count += slot.inUse ? 1 : 0;
    return count;
}

}  // namespace sim
