#pragma once
// One command to a drive through the kernel's SG_IO request, and the SCSI address of an open
// drive node through the SCSI address requests. Building the request header and reading the
// result are plain functions, so that they are tested without a drive.

#include <scsi/sg.h>

#include <cstdint>

#include "platform/System.h"

namespace platform::linux_sys {

// The kernel's limit for a command is the program's own limit plus the seam's margin: the program
// judges the time after the command has ended, the kernel only keeps a drive that never answers
// from holding the program for ever.
constexpr uint32_t kKernelTimeoutMarginMs = kDriverTimeoutMarginMs;
// Largest limit handed to the kernel; the kernel caps its own count near here, so that anything
// larger would in effect be no limit at all.
constexpr uint32_t kMaxKernelTimeoutMs = UINT32_MAX / 2;

// Host adapter status (host_status): anything but OK means the transport did not carry the
// command out (no connection, bus busy, time-out, abort, reset, adapter error, ...).
constexpr uint16_t kHostOk = 0x00;
constexpr uint16_t kHostNoConnect = 0x01;
constexpr uint16_t kHostBusBusy = 0x02;
constexpr uint16_t kHostTimeOut = 0x03;
constexpr uint16_t kHostAbort = 0x05;
constexpr uint16_t kHostError = 0x07;
constexpr uint16_t kHostReset = 0x08;

// Driver status (driver_status): its low four bits, OK or "sense data follow"; the high four
// bits are the driver's retry suggestions.
constexpr uint16_t kDriverByteMask = 0x0F;
constexpr uint16_t kDriverOk = 0x00;
constexpr uint16_t kDriverError = 0x04;
constexpr uint16_t kDriverTimeout = 0x06;
constexpr uint16_t kDriverSense = 0x08;

enum class SgIoResult : uint8_t {
    CarriedOut,  // the drive ended the command, with or without sense data
    Failed,      // not delivered, or the transport failed
    Denied,      // the system refused this process the command (EPERM or EACCES)
};

uint32_t KernelTimeoutMs(uint32_t programTimeoutMs);

// On a SCSI generic node the program waits for the answer no longer than the kernel's limit plus
// this margin. Some host adapters never time a command out (virtio-scsi restarts the kernel's
// timer and trusts the host to answer), and a drive that never answers must not hold the program
// for ever there either.
constexpr uint32_t kAnswerWaitMarginMs = 5000;
uint32_t AnswerWaitMs(uint32_t programTimeoutMs);

// Fills header for request: the 12-byte block, the direction, the data, the 24-byte sense buffer
// (both in the request itself) and the time-out. False when the request cannot be sent as it
// stands: a data phase of some length without a data address, or an unknown direction.
bool BuildSgIoHeader(PassThroughRequest& request, sg_io_hdr& header);

// True when the request failed as such: the adapter or the driver reports a transport error,
// or the drive refused to take the command at all (busy, reservation conflict, task set full,
// ACA active, task aborted). A check condition is no failure: the drive carried the command
// out and answered with sense data.
bool TransportFailed(const sg_io_hdr& header);

// Leaves in sense the fixed-format sense data (response code 70h/71h, key in byte 2, ASC in
// byte 12, ASCQ in byte 13) that the drive wrote in senseLength bytes, in either format:
// descriptor-format sense (72h/73h) is rewritten in fixed format, so the layer above reads one
// layout (scsi::RewriteSenseInFixedFormat, as the Windows seam does). Sense of an unknown format
// stays as written. Bytes past senseLength become zero.
void NormaliseSense(uint8_t (&sense)[kSenseSize], uint32_t senseLength);

// The bytes moved: the length asked for less the residual the kernel reports, within 0..length.
uint32_t BytesMoved(uint32_t length, int residual);

// Reads the result that the kernel left in header (built for request): normalises the sense in
// request, sets the bytes moved (0 when the request failed) and says whether it was carried out.
bool ReadSgIoResult(const sg_io_hdr& header, PassThroughRequest& request);

// Sends request to the drive open at node: zeroes the sense, builds the header, hands it to the
// kernel, reads the result. A SCSI generic node gets the request through its own queue with a
// bounded wait (SendQueued), any other node through SG_IO. Nothing is allocated.
SgIoResult SendSgIo(int node, PassThroughRequest& request);

// True when node is a SCSI generic character device (/dev/sgN).
bool IsGenericNode(int node);

// Sends request through the SCSI generic driver's queue: writes the header to node, waits at
// most waitMs for the answer, reads it. A request that is not answered in time fails as such; it
// stays with the driver, and node is replaced by a fresh descriptor of the same device under the
// same number (or of /dev/null, on which every later request fails), so that its late answer is
// dropped instead of landing in a later request's buffers.
SgIoResult SendQueued(int node, PassThroughRequest& request, uint32_t waitMs);

// The address packed in the answer of SCSI_IOCTL_GET_IDLUN (id, lun, channel one byte each from
// the lowest) with the host number of SCSI_IOCTL_GET_BUS_NUMBER. False when the host number
// does not fit the address.
bool DecodeIdLun(uint32_t deviceId, int busNumber, ScsiAddress& address);

// The address of the drive open at node, through the two requests above.
bool ReadIoctlAddress(int node, ScsiAddress& address);

}  // namespace platform::linux_sys
