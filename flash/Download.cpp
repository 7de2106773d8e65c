// The firmware download: prepare the drive, send the flash profile of its chip, write the image
// in 16 KiB blocks and read every block back, up to three passes, then pause and commit.

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

#include "device/AtapiDevice.h"
#include "device/DriveCommands.h"
#include "payload/PackageLayout.h"
#include "scsi/CommandBlocks.h"

namespace {

constexpr uint32_t kImageBlockSize = 16384;
// Every block's offset in the image area and the block's length fit their READ BUFFER and
// WRITE BUFFER fields whole, which the command set would otherwise cut to their widths.
static_assert(scsi::Fits(scsi::buffer::kOffset, payload::kImageAreaSize - kImageBlockSize) &&
              scsi::Fits(scsi::buffer::kLength, kImageBlockSize));
constexpr int kImagePasses = 3;
constexpr int32_t kReadyWaitSeconds = 60;
constexpr uint32_t kCommitTimeoutMs = 108000;
constexpr double kPauseBeforeCommitSeconds = 1.0;
// The pause sleeps in slices of at most this length, so it ends within a slice of its deadline.
constexpr uint32_t kPauseSliceMs = 10;

constexpr uint8_t kNoFlashId[sizeof DriveRecord::flashId] = {};

// Set before any download starts, if at all; read by every worker during its pause.
std::atomic<AtapiDevice::MessagePump> messagePump{nullptr};

void PumpMessages()
{
    if (const AtapiDevice::MessagePump pump = messagePump.load(std::memory_order_acquire)) pump();
}

// Whether the flash chip that the drive names now is the chip it named at discovery. One
// changed byte in the reply turns a known chip into one without a profile, and such a chip
// would still get the image and the commit; so a drive whose selected record holds a reading
// must name that chip again. A record without a reading (zero: the identification failed or
// read all zeros at discovery), or no selected record, leaves nothing to compare with. Called
// only after the identification completed: its reply is still in inputBuffer, because the
// profile write that may follow it only sends data.
bool IdentificationAgreesWithDiscovery(AtapiDevice& device)
{
    const int16_t index = device.CurrentIndex();
    const DriveRecord* record = index >= 0 ? device.GetDrive(static_cast<uint32_t>(index)) : nullptr;
    if (record == nullptr || std::memcmp(record->flashId, kNoFlashId, sizeof kNoFlashId) == 0) return true;
    const uint8_t* reply = device.InputBuffer();
    return reply != nullptr && std::memcmp(reply, record->flashId, sizeof record->flashId) == 0;
}

int32_t WholeBlocks(const uint8_t* image, int32_t length)
{
    if (image == nullptr || length < 0) return 0;
    return length / static_cast<int32_t>(kImageBlockSize);
}

uint32_t BlockOffset(int32_t block) { return static_cast<uint32_t>(block) * kImageBlockSize; }

// One write pass: every block from the image through outputBuffer to its place in the drive.
bool WriteImageBlocks(AtapiDevice& device, const uint8_t* image, int32_t blocks)
{
    for (int32_t block = 0; block < blocks; ++block) {
        std::memcpy(device.OutputBuffer(), image + BlockOffset(block), kImageBlockSize);
        if (!device.WriteBuffer(BlockOffset(block), kImageBlockSize, 0)) return false;
    }
    return true;
}

// One verify pass: every block read back into inputBuffer and compared with the image. Only a
// block that arrived whole is compared; the reply area held bytes that differ from the image
// before the read, so a part the drive did not send can never pass as equal either.
bool VerifyImageBlocks(AtapiDevice& device, const uint8_t* image, int32_t blocks)
{
    for (int32_t block = 0; block < blocks; ++block) {
        const uint8_t* expected = image + BlockOffset(block);
        if (!device.ReadBufferToCompare(BlockOffset(block), kImageBlockSize, expected)) return false;
        if (device.LastCommandRecord().lastTransferred != kImageBlockSize) return false;
        if (std::memcmp(device.InputBuffer(), expected, kImageBlockSize) != 0) return false;
    }
    return true;
}

// A commit whose request failed as such may still have reached the drive, and a second one to a
// drive that is programming or has just reset could leave it damaged. So the commit goes with
// errors not raised, which keeps the transport from sending it again, and its failure is raised
// here with the code the transport would have raised. Errors stay raised after a failure and
// are left cleared after success.
void SendCommitOnce(AtapiDevice& device, uint8_t control)
{
    device.DisableErrorRaising();
    if (device.WriteBuffer(0, 0, control)) return;
    device.EnableErrorRaising();
    throw ErrCodeException(device.LastFailureCode());
}

}  // namespace

void AtapiDevice::SetMessagePump(MessagePump pump) { messagePump.store(pump, std::memory_order_release); }

// The preparation runs with errors not raised, so a drive that is slow to become ready or
// refuses to stop still gets the image. The profile is the exception: a drive whose
// identification or profile write failed would program the image without the profile its chip
// needs, so the download ends there, before any image byte is sent; so does a drive that names
// another chip than it named at discovery. A completed identification that matches no profile
// is no such failure when it names the chip seen at discovery, or when discovery has no reading
// to compare with: the image and the commit still follow.
bool AtapiDevice::DownloadFirmware(const uint8_t* image, int32_t length, uint8_t bootCode)
{
    DisableErrorRaising();
    WaitReady(kReadyWaitSeconds);
    StopUnit();
    if (RunFlashProfileStep() == ProfileOutcome::CommandFailed) return false;
    if (!IdentificationAgreesWithDiscovery(*this)) return false;
    EnableErrorRaising();
    if (!WriteAndVerifyImage(image, length)) return false;
    SetCommandTimeout(kCommitTimeoutMs);
    DelayWithMessages(kPauseBeforeCommitSeconds);
    // outputBuffer still holds the last block written: its first 16 bytes go with the commit.
    const uint8_t control = bootCode != 0 ? device::kCommitBootCodeControl : device::kCommitControl;
    SendCommitOnce(*this, control);
    return true;
}

// Every pass writes all blocks again, also those that compared equal before. Fewer than one
// whole block can never verify, so such an image is never committed.
bool AtapiDevice::WriteAndVerifyImage(const uint8_t* image, int32_t length)
{
    const int32_t blocks = WholeBlocks(image, length);
    if (blocks == 0 || InputBuffer() == nullptr || OutputBuffer() == nullptr) return false;
    for (int pass = 1; pass <= kImagePasses; ++pass) {
        if (WriteImageBlocks(*this, image, blocks) && VerifyImageBlocks(*this, image, blocks)) return true;
    }
    return false;
}

// Short sleeps on the wait timer up to the deadline, with pending messages let through between
// them: the pause takes no processor from the workers still sending their image, and ends as
// soon as the timer reads the seconds. A machine without a high-resolution counter reads 0.0
// elapsed for ever, so there the pause is counted in sleeps instead.
void AtapiDevice::DelayWithMessages(double seconds)
{
    waitTimer.Start(true);
    if (waitTimer.IsAvailable()) {
        for (double left = seconds; left > 0.0; left = seconds - waitTimer.Elapsed()) {
            PumpMessages();
            system.Sleep(static_cast<uint32_t>(std::min(std::ceil(left * 1000.0), double{kPauseSliceMs})));
        }
    } else {
        const double pauseMs = seconds * 1000.0;
        for (double sleptMs = 0.0; sleptMs < pauseMs; sleptMs += kPauseSliceMs) {
            PumpMessages();
            system.Sleep(kPauseSliceMs);
        }
    }
    waitTimer.Stop();
}
