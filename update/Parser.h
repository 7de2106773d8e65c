#pragma once
// The worker thread that programs one drive: it runs the firmware download once on the drive's
// own device object, leaves 0 (programmed) or 42 (failed) in that object's updateResult, and
// ends. Every failure ends as 42, whatever was raised beneath.
//
// Life of a worker, on the window thread:
//
//     Parser* worker = new Parser(parameters);               // made, not yet running
//     worker->Start(window, &Window::ParserTerminate);        // handler attached, then started
//
// When ThreadMain has returned, the handler runs on the receiver's thread while the worker
// thread waits for it (a blocking queued connection on `finished`); only then does the worker
// delete itself, through the event loop of the thread that made it. The maker keeps no
// ownership and must not wait() for the worker from the receiver's thread: the worker waits
// for that thread to run the handler. The device object outlives the worker and is never
// freed by it.

#include <QtCore/QThread>

#include <cstdint>

class AtapiDevice;

class Parser : public QThread {
    Q_OBJECT

public:
    struct WorkerParameters {
        AtapiDevice* device;
        const uint8_t* image;
        int32_t length;  // bytes
        bool bootCode;
    };

    explicit Parser(const WorkerParameters& parameters);

    // Attaches the end-of-thread handler (a member function of receiver, or a callable run in
    // receiver's thread), then starts the worker. Call once.
    template <typename Receiver, typename Handler>
    void Start(const Receiver* receiver, Handler handler)
    {
        connect(this, &QThread::finished, receiver, handler, Qt::BlockingQueuedConnection);
        StartWithHandlerAttached();
    }

    // The thread's body: runs the download and writes updateResult.
    void ThreadMain();
    // Runs the download once, then lets a programmed drive settle: true when it was programmed.
    bool RunUpdate();

protected:
    void run() override;

private:
    // A worker started without its end-of-thread handler would end unnoticed: start only
    // through Start.
    using QThread::start;
    void StartWithHandlerAttached();

    const WorkerParameters parameters;
    AtapiDevice* const device;
};
