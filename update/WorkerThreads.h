#pragma once
// How the sequence runs its update workers: each on a thread of its own, and each one's end
// handed back to the sequence's thread. The worker's thread waits until its end has been
// handled, so that the sequence sees every end in turn, on its own thread, and a worker never
// outlives the handling of its result. A front end chooses how ends reach its thread (its event
// loop, a window message, a loop of its own); the sequence only starts workers and handles ends.

class Parser;

// Told, on the sequence's thread, that the worker of a slot has returned from its work.
class WorkerEndHandler {
public:
    virtual void WorkerEnded(int slot) = 0;

protected:
    ~WorkerEndHandler() = default;
};

class WorkerThreads {
public:
    virtual ~WorkerThreads() = default;

    // Runs worker.ThreadMain() on a thread of its own. Once it has returned,
    // handler.WorkerEnded(slot) runs on the thread that called Start, and the worker's thread
    // waits until that has returned. False when no thread could be made: the worker never ran
    // and no end will come. The worker and the handler must outlive the handling of the end.
    virtual bool Start(int slot, Parser& worker, WorkerEndHandler& handler) = 0;

    // On the sequence's thread: no end that has not been handled yet will be, and every thread
    // started returns. Waits until they have.
    virtual void AbandonAndJoin() = 0;
};
