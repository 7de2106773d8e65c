// Worker threads whose ends are queued for the sequence's thread.

#include "update/QueuedWorkerThreads.h"

#include <system_error>

#include "update/Parser.h"

QueuedWorkerThreads::QueuedWorkerThreads(Wake wake, void* wakeContext) : wake(wake), wakeContext(wakeContext) {}

QueuedWorkerThreads::~QueuedWorkerThreads() { AbandonAndJoin(); }

bool QueuedWorkerThreads::Start(int slot, Parser& worker, WorkerEndHandler& handler)
{
    if (slot < 0 || slot >= kMaxDrives) return false;
    Slot& entry = workerSlots[static_cast<std::size_t>(slot)];
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (entry.state != SlotState::Free && entry.state != SlotState::Handled) return false;
    }
    // The slot's last worker has had its end handled: its thread returns at once.
    if (entry.thread.joinable()) entry.thread.join();
    {
        std::lock_guard<std::mutex> lock(mutex);
        entry.worker = &worker;
        entry.handler = &handler;
        entry.state = SlotState::Running;
    }
    try {
        entry.thread = std::thread(&QueuedWorkerThreads::RunWorker, this, slot);
    } catch (const std::system_error&) {
        std::lock_guard<std::mutex> lock(mutex);
        entry.state = SlotState::Free;
        return false;
    }
    return true;
}

// The worker's thread: the work, then its end queued, then the wait until it has been handled
// (or abandoned).
void QueuedWorkerThreads::RunWorker(int slot)
{
    Slot& entry = workerSlots[static_cast<std::size_t>(slot)];
    entry.worker->ThreadMain();
    bool wakeSequence = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        entry.state = SlotState::Ended;
        entry.endNumber = ++endsArrived;
        wakeSequence = !abandoned;
    }
    changed.notify_all();
    if (wakeSequence && wake != nullptr) wake(wakeContext);
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return entry.state == SlotState::Handled || abandoned; });
}

int QueuedWorkerThreads::FirstQueuedEnd() const
{
    int first = -1;
    for (int i = 0; i < kMaxDrives; ++i) {
        const Slot& entry = workerSlots[static_cast<std::size_t>(i)];
        if (entry.state != SlotState::Ended) continue;
        if (first < 0 || entry.endNumber < workerSlots[static_cast<std::size_t>(first)].endNumber) first = i;
    }
    return first;
}

// A handler may dispatch again (a message box's loop): the end it handles is marked first, so
// that no end is handled twice.
int QueuedWorkerThreads::DispatchEnds()
{
    int handled = 0;
    for (;;) {
        int slot = -1;
        WorkerEndHandler* handler = nullptr;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (abandoned) return handled;
            slot = FirstQueuedEnd();
            if (slot < 0) return handled;
            Slot& entry = workerSlots[static_cast<std::size_t>(slot)];
            entry.state = SlotState::Handling;
            handler = entry.handler;
        }
        handler->WorkerEnded(slot);
        {
            std::lock_guard<std::mutex> lock(mutex);
            workerSlots[static_cast<std::size_t>(slot)].state = SlotState::Handled;
        }
        changed.notify_all();
        ++handled;
    }
}

int QueuedWorkerThreads::WaitForEnds(Clock::time_point deadline)
{
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait_until(lock, deadline, [this] { return abandoned || AnyEndQueued(); });
    }
    return DispatchEnds();
}

void QueuedWorkerThreads::AbandonAndJoin()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        abandoned = true;
    }
    changed.notify_all();
    for (Slot& entry : workerSlots) {
        if (entry.thread.joinable()) entry.thread.join();
    }
    std::lock_guard<std::mutex> lock(mutex);
    for (Slot& entry : workerSlots) entry.state = SlotState::Free;
    abandoned = false;
}
