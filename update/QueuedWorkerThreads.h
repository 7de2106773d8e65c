#pragma once
// Worker threads from the standard library whose ends wait in a queue until the sequence's
// thread collects them: DispatchEnds() from a front end's event loop (woken by the wake
// function, which runs on the worker's thread as soon as an end is queued), or WaitForEnds() in
// a loop of the front end's own. Ends are handled in the order they arrived, each once, also
// when a handler opens a modal box whose loop dispatches again.

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "device/DriveRecord.h"
#include "update/WorkerThreads.h"

class QueuedWorkerThreads : public WorkerThreads {
public:
    using Wake = void (*)(void* context);
    using Clock = std::chrono::steady_clock;

    explicit QueuedWorkerThreads(Wake wake = nullptr, void* wakeContext = nullptr);
    ~QueuedWorkerThreads() override;
    QueuedWorkerThreads(const QueuedWorkerThreads&) = delete;
    QueuedWorkerThreads& operator=(const QueuedWorkerThreads&) = delete;

    // Slots 0..kMaxDrives-1; a slot is free again once its end has been handled.
    bool Start(int slot, Parser& worker, WorkerEndHandler& handler) override;
    void AbandonAndJoin() override;

    // On the sequence's thread: handles every end queued so far; returns how many it handled.
    int DispatchEnds();
    // Waits until an end is queued or the deadline has passed, then handles what is queued.
    int WaitForEnds(Clock::time_point deadline);

private:
    enum class SlotState : uint8_t { Free, Running, Ended, Handling, Handled };

    struct Slot {
        std::thread thread;
        Parser* worker = nullptr;
        WorkerEndHandler* handler = nullptr;
        SlotState state = SlotState::Free;
        uint32_t endNumber = 0;  // order of arrival among the queued ends
    };

    void RunWorker(int slot);
    // The queued end that arrived first, or -1; called with the lock held.
    int FirstQueuedEnd() const;
    bool AnyEndQueued() const { return FirstQueuedEnd() >= 0; }

    std::array<Slot, kMaxDrives> workerSlots;
    std::mutex mutex;
    std::condition_variable changed;
    uint32_t endsArrived = 0;
    bool abandoned = false;
    const Wake wake;
    void* const wakeContext;
};
