#pragma once
// The worker threads of the Qt window: an end is handed to the thread that made this object
// through its event loop, also the loop of a modal message box, while the worker waits.

#include <QtCore/QObject>

#include "update/QueuedWorkerThreads.h"

class QtWorkerThreads final : public QueuedWorkerThreads {
public:
    QtWorkerThreads() : QueuedWorkerThreads(&QtWorkerThreads::Wake, this) {}
    // The threads end before the object that their wake posts to goes.
    ~QtWorkerThreads() override { AbandonAndJoin(); }

private:
    // On a worker's thread: queues the dispatch on the receiver's thread. A dispatch queued
    // for a receiver that has gone is dropped with it.
    static void Wake(void* context)
    {
        auto* self = static_cast<QtWorkerThreads*>(context);
        QMetaObject::invokeMethod(
            &self->receiver, [self] { self->DispatchEnds(); }, Qt::QueuedConnection);
    }

    QObject receiver;
};
