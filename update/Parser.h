#pragma once
// The update worker of one drive: on a thread of its own (see WorkerThreads) it runs the
// firmware download once on the drive's own device object, leaves 0 (programmed) or 42 (failed)
// in that object's updateResult, and returns. Every failure ends as 42, whatever was raised
// beneath. The device object outlives the worker and is never freed by it.

#include <cstdint>

class AtapiDevice;

class Parser {
public:
    struct WorkerParameters {
        AtapiDevice* device;
        const uint8_t* image;
        int32_t length;  // bytes
        bool bootCode;
    };

    explicit Parser(const WorkerParameters& parameters);

    // The thread's body: runs the download and writes updateResult.
    void ThreadMain();
    // Runs the download once, then lets a programmed drive settle: true when it was programmed.
    bool RunUpdate();

private:
    const WorkerParameters parameters;
    AtapiDevice* const device;
};
