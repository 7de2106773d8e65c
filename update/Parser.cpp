// The update worker: one download per drive on a thread of its own, its outcome left in the
// device object as 0 or 42.

#include "update/Parser.h"

#include <exception>

#include "device/AtapiDevice.h"
#include "device/ErrCodeException.h"

namespace {

constexpr uint8_t kUpdateSucceeded = 0;
// A drive that has just programmed its flash resets; it gets this long to become ready.
constexpr int32_t kSettleSeconds = 60;

}  // namespace

Parser::Parser(const WorkerParameters& parameters) : parameters(parameters), device(parameters.device) {}

// Any exception that leaves the download is a failed update: one of another kind than
// ErrCodeException (from the system layer, or memory running out) must not leave the result
// at 0 and report a failed drive as programmed.
void Parser::ThreadMain()
{
    device->updateResult = kUpdateSucceeded;
    bool ok = false;
    try {
        ok = RunUpdate();
    } catch (const ErrCodeException&) {
        ok = false;
    } catch (const std::exception&) {
        ok = false;
    } catch (...) {
        ok = false;
    }
    if (!ok) device->updateResult = ErrCodeException::kDownloadFailed;
}

// After a commit the worker waits, bounded, for the drive to come back from its reset while it
// still holds the drive: the completion then reads what the drive reports with the new firmware
// running, and the drives of an update settle side by side. Whether the drive came back is for
// that reading to judge.
bool Parser::RunUpdate()
{
    if (device->DownloadFirmware(parameters.image, parameters.length, parameters.bootCode ? 1 : 0)) {
        device->WaitReady(kSettleSeconds);
        return true;
    }
    if (device->ErrorRaisingEnabled()) throw ErrCodeException(ErrCodeException::kDownloadFailed);
    return false;
}
