#pragma once
// The request block of IOCTL_SCSI_PASS_THROUGH_DIRECT: a SCSI_PASS_THROUGH_DIRECT followed by the
// sense buffer, handed to the driver as input and output at once. Filling it from the seam's
// request and reading the driver's answer back are plain functions, tested without a drive.

#include <cstddef>
#include <cstdint>

#include "platform/System.h"
#include "platform/win32/WindowsApi.h"

namespace platform::win32 {

// The 32-bit layout is the one the driver of a 32-bit process reads: 44 bytes.
static_assert(sizeof(void*) != 4 || sizeof(SCSI_PASS_THROUGH_DIRECT) == 44);
static_assert(sizeof(void*) != 8 || sizeof(SCSI_PASS_THROUGH_DIRECT) == 56);

struct PassThroughBlock {
    SCSI_PASS_THROUGH_DIRECT request;
    ULONG filler;  // keeps the sense buffer on a boundary of its own, at 48 in the 32-bit layout
    UCHAR sense[kSenseSize];
};

static_assert(sizeof(void*) != 4 || offsetof(PassThroughBlock, sense) == 48);

// The port driver counts a command's limit in whole seconds and refuses one above 30 hours.
constexpr uint32_t kMaxDriverTimeoutSeconds = 30 * 60 * 60;

// The driver's limit for a command whose own limit is timeoutMs: that limit plus the seam's
// margin, rounded up to whole seconds, at most kMaxDriverTimeoutSeconds.
uint32_t DriverTimeoutSeconds(uint32_t timeoutMs);

// Zeroes block and fills it for request: the 12-byte block, direction, data address and length,
// the driver's time-out and the sense buffer behind the structure. The address fields stay 0:
// the class driver behind a volume handle puts in its own drive's address. False when the
// request cannot be sent as it stands: an unknown direction, or a data phase of some length
// without a data address.
bool FillPassThroughBlock(const PassThroughRequest& request, PassThroughBlock& block);

// Reads the driver's answer in block (filled for request, then carried out) back into request:
// the sense bytes that the driver wrote (the rest zero, descriptor-format sense rewritten in
// fixed format as the Linux seam does, scsi::RewriteSenseInFixedFormat) and the bytes moved. False when the drive refused to take the command at all
// (busy, reservation conflict, task set full, ACA active, task aborted): like a request that
// failed as such, it then moved nothing.
bool ReadPassThroughBlock(const PassThroughBlock& block, PassThroughRequest& request);

}  // namespace platform::win32
