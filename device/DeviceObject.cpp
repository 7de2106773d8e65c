// The device object's life: construction with its transport choice and optional scan,
// destruction, the copy of the drive state into a second object, and the buffers.

#include <algorithm>
#include <iterator>
#include <new>

#include "device/AtapiDevice.h"

namespace {

// A failed allocation leaves the buffer null; commands that would need it are then refused.
std::unique_ptr<uint8_t[]> AllocateBuffer()
{
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[kBufferSize]());
}

}  // namespace

AtapiDevice::AtapiDevice(platform::System& system, bool scan)
    : system(system), waitTimer(system), commandTimer(system), osInfo(system)
{
    host = target = lun = path = -1;
    currentIndex = kNoDriveSelected;
    aspiLibrary = nullptr;
    commandTimeoutMs = kDefaultCommandTimeoutMs;
    deviceHandle = platform::kInvalidDriveHandle;
    raiseOnError = false;
    current = DriveIdentification{};

    aspiRequest.reset(new (std::nothrow) platform::SRB_ExecSCSICmd{});
    inputBuffer = AllocateBuffer();
    outputBuffer = AllocateBuffer();

    lastCommand = LastCommand{};
    updateResult = 0;

    ChooseTransport();
    if (scan) ScanDrives();
}

AtapiDevice::~AtapiDevice()
{
    FreeBuffers();
    // The manager may still write into a request it never gave back: leave the block to it.
    if (aspiRequestHeld) static_cast<void>(aspiRequest.release());
    UnloadAspi();
    CloseDrive();
}

void AtapiDevice::FreeBuffers()
{
    const bool released = HeldRequestFinished() || (AbortAspiRequest() && HeldRequestFinished());
    if (!released) {
        // A request the manager still holds may move data into a buffer: leave both to it.
        static_cast<void>(inputBuffer.release());
        static_cast<void>(outputBuffer.release());
        return;
    }
    inputBuffer.reset();
    outputBuffer.reset();
}

void AtapiDevice::CopyStateTo(AtapiDevice& destination) const
{
    // The destination selects its drive itself; a volume it still had open is closed first.
    destination.CloseDrive();
    destination.commandTimeoutMs = commandTimeoutMs;
    destination.host = host;
    destination.target = target;
    destination.lun = lun;
    destination.path = path;
    destination.useAspi = useAspi;
    destination.aspiCountsResidual = aspiCountsResidual;
    destination.driveCount = driveCount;
    destination.raiseOnError = raiseOnError;
    destination.current = current;
    std::copy(std::begin(drives), std::end(drives), std::begin(destination.drives));
    destination.deviceHandle = platform::kInvalidDriveHandle;
    destination.currentIndex = kNoDriveSelected;
}
